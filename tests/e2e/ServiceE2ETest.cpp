// The headless service and the admin tool as separate processes on a temporary folder and a free
// port, talked to over loopback.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <thread>

#include "tests/support/Eventually.h"
#include "tests/support/Process.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"

namespace orvo {
namespace {

using orvo::testing::Counted;
using orvo::testing::Eventually;
using orvo::testing::Outcome;
using orvo::testing::Process;
using orvo::testing::RawClient;
using orvo::testing::TempDir;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ServiceE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Admin({"init"}).status, 0);
    fs::create_directories(dir.Path() / "root");
  }

  Outcome Admin(const std::vector<std::string>& args, const std::string& input = {}) {
    return testing::RunAdmin(dir.Path().string(), args, input);
  }
  void AdminOk(const std::vector<std::string>& args, const std::string& input = {}) {
    const Outcome outcome = Admin(args, input);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
  }

  // Starts orvo-serverd on a free port and waits until it says it listens.
  void StartService() {
    testing::RunningService started = testing::StartService(dir.Path().string());
    ASSERT_NE(started.port, 0) << started.firstLine;
    service = std::move(started.process);
    port = started.port;
  }

  std::string Request(const std::string& line, const std::string& source = {}) {
    RawClient client(port, "127.0.0.1", source);
    client.Send(line + "\r\n");
    return client.ReadToClose();
  }
  // The timetable is empty, so the gate lets every class in once the start-up pause check has
  // run; until then the login is refused (which counts as no guess). Returns the last reply.
  std::string LogInOnceTheGateOpens(const std::string& line) {
    std::string reply;
    Eventually([&] { return (reply = Request(line)).size() > 4; }, 20s, 20ms);
    return reply;
  }

  TempDir dir;
  std::unique_ptr<Process> service;
  uint16_t port = 0;
};

TEST_F(ServiceE2E, FirstRequestGetSysLogAndOrderlyStop) {
  StartService();
  EXPECT_EQ(Request("GETSYSLOG"), Counted("GETSYSLOG\r\n"));
  service->Signal(SIGTERM);
  const Outcome outcome = service->Wait(10s);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
}

TEST_F(ServiceE2E, LoginWhilePausedGivesTheSevenLinesInGbk) {
  const std::string root = (dir.Path() / "root").string();
  AdminOk({"settings", "set", "--root", root, "--student-list", "on"});
  AdminOk({"class", "add", "一班"});
  AdminOk({"student", "add", "一班", "张三", "李四"});
  EXPECT_TRUE(fs::is_directory(dir.Path() / "root/一班/张三"));
  StartService();
  const std::string reply = LogInOnceTheGateOpens("LOGIN 一班 张三 907183");
  const std::string gbkClass = "\xD2\xBB\xB0\xE0";  // 一班
  const std::string gbkName = "\xD5\xC5\xC8\xFD";   // 张三
  const std::string expectedStart = root + "\\" + gbkClass + "\\" + gbkName + "\r\n" + "\r\n" +
                                    gbkName + "\r\n" + "\xBF\xCE\xCC\xC3\xD7\xCA\xD4\xB4\r\n";
  ASSERT_GT(reply.size(), 4u);
  const std::string payload = reply.substr(4);
  EXPECT_EQ(reply.substr(0, 4), Counted(payload).substr(0, 4));
  ASSERT_EQ(payload.substr(0, expectedStart.size()), expectedStart);
  const std::string rest = payload.substr(expectedStart.size());
  EXPECT_TRUE(std::regex_match(
      rest, std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\r\n\r\n\r\n")))
      << rest;

  EXPECT_EQ(Request("LOGIN 一班 张三 wrong"), Counted(""));
  EXPECT_EQ(Request("LOGIN 一班 张三"), Counted(""));
  // By pinyin: 李四 before 张三, whatever the order they were added in.
  EXPECT_EQ(Request("ULIST 一班"), Counted("\xC0\xEE\xCB\xC4\r\n" + gbkName + "\r\n"));
  EXPECT_EQ(Request("GLIST"), Counted(gbkClass + "\r\n"));
}

TEST_F(ServiceE2E, ListFlagsGovernUlistAndGlist) {
  AdminOk({"class", "add", "3A"});
  AdminOk({"student", "add", "3A", "Wang"});
  AdminOk({"settings", "set", "--student-list", "off", "--class-list", "off"});
  StartService();
  EXPECT_EQ(Request("ULIST 3A"), Counted(""));
  EXPECT_EQ(Request("GLIST"), Counted(""));
}

TEST_F(ServiceE2E, ChgpswWorksOnlyForTheStudentLoggedInFromThatAddress) {
  AdminOk({"class", "add", "C1"});
  AdminOk({"student", "add", "C1", "Li", "Wu"});
  StartService();
  // From an address that never logged in: nothing changes.
  EXPECT_EQ(Request("CHGPSW C1 Li hacked", "127.0.0.2"), "");
  ASSERT_GT(LogInOnceTheGateOpens("LOGIN C1 Li 907183").size(), 4u);
  // Logged in as Li: Wu's password stays, Li's changes.
  EXPECT_EQ(Request("CHGPSW C1 Wu stolen"), "");
  EXPECT_EQ(Request("CHGPSW C1 Li new pass"), "");
  EXPECT_EQ(Request("LOGIN C1 Li 907183"), Counted(""));
  EXPECT_GT(Request("LOGIN C1 Li new pass").size(), 4u);
  EXPECT_GT(Request("LOGIN C1 Wu 907183").size(), 4u);
  EXPECT_EQ(Request("LOGIN C1 Li hacked"), Counted(""));
  // The log keeps no password.
  const std::string log = Request("GETSYSLOG");
  EXPECT_EQ(log.find("new pass"), std::string::npos);
  EXPECT_NE(log.find("CHGPSW C1 Li ******"), std::string::npos);
}

TEST_F(ServiceE2E, MissingDatabaseAndTakenPortEndTheServiceWithAMessage) {
  TempDir empty;
  Outcome missing = testing::Run("orvo-serverd", {"--dir", empty.Path().string(), "--port", "0"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(empty / "orvoDisk.db"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(empty / "orvoDisk.db")) << "the service never creates the database";

  StartService();
  Outcome taken =
      testing::Run("orvo-serverd", {"--dir", dir.Path().string(), "--port", std::to_string(port)});
  EXPECT_EQ(taken.status, 1);
  EXPECT_NE(taken.err.find("port " + std::to_string(port)), std::string::npos) << taken.err;
}

TEST_F(ServiceE2E, StopsPromptlyWhileATransferRuns) {
  const std::string root = (dir.Path() / "root").string();
  AdminOk({"settings", "set", "--root", root});
  StartService();
  RawClient upload(port);
  upload.Send("PUT " + root + "/big.bin\r\n" + std::string("\x10\x00\x00\x00", 4) +
              std::string(65536, 'x'));
  RawClient idle(port);
  std::this_thread::sleep_for(200ms);
  service->Signal(SIGTERM);
  const Outcome outcome = service->Wait(10s);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_FALSE(fs::exists(root + "/big.bin"));
}

TEST_F(ServiceE2E, AdminRefusesBadInputWithoutChangingAnything) {
  AdminOk({"class", "add", "3A"});
  AdminOk({"class", "add", "Ａ班"});
  const struct {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"class", "add", "3a"}, "exists already"},
      {{"class", "add", "ａ班"}, "exists already"},  // full-width letters fold as in the console
      {{"class", "add", ""}, "班级名称为空"},
      {{"class", "add", "高一 2班"}, "“高一 2班”中间有空格，该班学生无法登录"},
      {{"student", "add", "9Z", "Wang"}, "no class"},
      {{"timetable", "add", "8", "08:00", "08:45", "3A"}, "WEEKDAY"},
      {{"timetable", "add", "1", "24:00", "08:45", "3A"}, "is not a valid time"},
      {{"timetable", "add", "1", "09:00", "08:45", "3A"}, "end after"},
      {{"timetable", "del", "1 or 1=1"}, "no timetable row"},
      {{"settings", "set", "--student-list", "yes"}, "on or off"},
      {{"settings", "set", "--root", "relative/path"}, "absolute"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = Admin(c.args);
    EXPECT_EQ(outcome.status, 1) << c.says;
    EXPECT_NE(outcome.err.find(c.says), std::string::npos) << outcome.err;
  }
  EXPECT_EQ(Admin({"class", "list"}).out, "3A\nＡ班\n");
  EXPECT_EQ(Admin({"timetable", "list"}).out, "");
  EXPECT_EQ(
      Admin({"settings", "show"})
          .out.rfind("root: \npublic: \nstudent-list: off\nclass-list: on\nautorun: off\n", 0),
      0u);
}

TEST_F(ServiceE2E, AdminManagesStudentsAndTimetable) {
  AdminOk({"class", "add", "3A"});
  AdminOk({"student", "add", "3A"}, "Wang\n\nLi\r\nWang\n");
  // By name: the repeated Wang was skipped, not added a second time.
  EXPECT_EQ(Admin({"student", "list", "3A"}).out,
            "2\t3A\tLi\tLi\t907183\n1\t3A\tWang\tWang\t907183\n");
  AdminOk({"student", "del", "3A", "Wang"});
  EXPECT_EQ(Admin({"student", "list", "3A"}).out, "2\t3A\tLi\tLi\t907183\n");
  AdminOk({"timetable", "add", "2", "10:00", "10:45", "3A"});
  AdminOk({"timetable", "add", "1", "4:05 PM", "17:00", "3A"});
  AdminOk({"timetable", "add", "1", "08:00", "08:45", "3A,3B"});
  EXPECT_EQ(Admin({"timetable", "list"}).out,
            "3\t1\t08:00\t08:45\t3A,3B\n2\t1\t4:05 PM\t17:00\t3A\n1\t2\t10:00\t10:45\t3A\n");
  AdminOk({"timetable", "del", "2"});
  AdminOk({"timetable", "clear"});
  EXPECT_EQ(Admin({"timetable", "list"}).out, "");
  EXPECT_NE(Admin({"init"}).out.find("left untouched"), std::string::npos);
}

TEST_F(ServiceE2E, PastedStudentListIsAddedTrimmedRefusalsNamedAndTheStudentsLogIn) {
  const std::string root = (dir.Path() / "root").string();
  AdminOk({"settings", "set", "--root", root});
  AdminOk({"class", "add", " 高一2班\t"});
  AdminOk({"class", "add", "一班"});
  // Chinese order: gao before yi, though 高 (U+9AD8) comes after 一 (U+4E00) by code.
  EXPECT_EQ(Admin({"class", "list"}).out, "高一2班\n一班\n");

  const Outcome add = Admin({"student", "add", "高一2班"},
                            "彭浩宇 \r\nLi Ming\r\n\r\n李䶮\r\n王五\t\r\n阿明\r\n彭浩宇\r\n");
  EXPECT_EQ(add.status, 1) << "a name was refused";
  EXPECT_NE(add.err.find("“Li Ming”中间有空格，学生无法登录"), std::string::npos) << add.err;
  EXPECT_NE(add.err.find("“李䶮”中的“䶮”"), std::string::npos) << add.err;
  EXPECT_NE(add.out.find("skipped 彭浩宇: already in the class"), std::string::npos) << add.out;
  EXPECT_NE(add.out.find("3 added, 1 already in the class, 2 refused"), std::string::npos)
      << add.out;
  EXPECT_TRUE(fs::is_directory(fs::path(root) / "高一2班" / "彭浩宇"));
  EXPECT_EQ(Admin({"student", "list", "高一2班"}).out,
            "3\t高一2班\t阿明\t阿明\t907183\n"
            "1\t高一2班\t彭浩宇\t彭浩宇\t907183\n"
            "2\t高一2班\t王五\t王五\t907183\n");

  // The student pasted with a trailing blank logs in under the trimmed name.
  StartService();
  EXPECT_GT(LogInOnceTheGateOpens("LOGIN 高一2班 彭浩宇 907183").size(), 4u);

  // A list that is all good exits 0, also when it names students the class has.
  const Outcome again = Admin({"student", "add", "高一2班", "王五", "赵六"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("1 added, 1 already in the class, 0 refused"), std::string::npos)
      << again.out;
}

}  // namespace
}  // namespace orvo
