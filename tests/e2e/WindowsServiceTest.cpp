// The Windows build of the service, the admin tool and the client as a Linux client meets them:
// the .exe files run under Wine (scripts/wine-run, code page 936) and this test talks to them over
// loopback. ORVO_WINDOWS_BUILD_DIR names the Windows build tree; without it every test is skipped.
// Under Wine the Linux folders are drive Z:, so /tmp/x is Z:\tmp\x to the Windows programs.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "net/OrvoClient.h"
#include "platform/FindData.h"
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

// The Windows name of a Linux path under Wine.
std::string WinePath(const fs::path& path) {
  std::string text = "Z:" + path.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

const platform::FindData* Named(const std::vector<platform::FindData>& records,
                                const std::string& name) {
  for (const auto& record : records) {
    if (record.name == name) return &record;
  }
  return nullptr;
}

class WindowsService : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* build = std::getenv("ORVO_WINDOWS_BUILD_DIR");
    if (build == nullptr || *build == '\0') {
      GTEST_SKIP() << "ORVO_WINDOWS_BUILD_DIR is not set (scripts/test-windows sets it)";
    }
    buildDir = build;
    root = dir.Path() / "root";
    fs::create_directories(root);
    ASSERT_EQ(Admin({"init"}).status, 0);
    AdminOk({"settings", "set", "--root", WinePath(root), "--student-list", "on"});
  }

  void TearDown() override {
    if (service) {
      // Ctrl+C reaches a Windows console program under Wine as SIGINT.
      service->Signal(SIGINT);
      const Outcome outcome = service->Wait(20s);
      EXPECT_EQ(outcome.status, 0) << "orderly stop\n" << outcome.err;
    }
  }

  fs::path Program(const std::string& name) const { return buildDir / "bin" / (name + ".exe"); }

  std::unique_ptr<Process> StartWindows(const fs::path& exe, std::vector<std::string> args,
                                        const std::string& input = {}) const {
    args.insert(args.begin(), exe.string());
    return std::make_unique<Process>(ORVO_WINE_RUN, args, input);
  }

  Outcome Admin(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), {"--dir", WinePath(dir.Path())});
    return StartWindows(Program("orvo-admin"), args, input)->Wait(60s);
  }
  void AdminOk(const std::vector<std::string>& args, const std::string& input = {}) {
    const Outcome outcome = Admin(args, input);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
  }

  void StartService() {
    service = StartWindows(Program("orvo-serverd"), {"--dir", WinePath(dir.Path()), "--port", "0"});
    const std::string first = service->ReadLine(60s);
    const std::string prefix = "orvo-serverd: listening on port ";
    ASSERT_EQ(first.rfind(prefix, 0), 0u) << first;
    port = static_cast<uint16_t>(std::stoi(first.substr(prefix.size())));
  }
  // An empty timetable pauses the gate shortly after the start; until then a LOGIN is refused
  // (and counts as no guess). Returns the last reply.
  std::string LogInOnceTheGateOpens(const std::string& line) {
    std::string reply;
    Eventually([&] { return (reply = Request(line)).size() > 4; }, 60s, 50ms);
    return reply;
  }

  // Starts the service with student S1 of class C1 logged in from this address; returns S1's
  // folder, which (with the public folder) is all that the file commands reach.
  fs::path StartServiceWithStudentLoggedIn() {
    AdminOk({"class", "add", "C1"});
    AdminOk({"student", "add", "C1", "S1"});
    StartService();
    EXPECT_GT(LogInOnceTheGateOpens("LOGIN C1 S1 907183").size(), 4u) << "S1 logs in";
    return root / "C1" / "S1";
  }

  std::string Request(const std::string& line, const std::string& payload = {}) {
    RawClient client(port);
    client.Send(line + "\r\n" + payload);
    return client.ReadToClose();
  }

  fs::path buildDir;
  TempDir dir;
  fs::path root;
  std::unique_ptr<Process> service;
  uint16_t port = 0;
};

TEST_F(WindowsService, LoginChgpswAndListsSpeakGbkWithWindowsPaths) {
  AdminOk({"class", "add", "一班"});
  AdminOk({"student", "add", "一班", "张三", "李四"});
  EXPECT_TRUE(fs::is_directory(root / "一班" / "张三")) << "student folders made by the .exe";
  StartService();

  const std::string gbkClass = "\xD2\xBB\xB0\xE0";  // 一班
  const std::string gbkName = "\xD5\xC5\xC8\xFD";   // 张三
  const std::string reply = LogInOnceTheGateOpens("LOGIN 一班 张三 907183");
  const std::string expectedStart =
      WinePath(root) + "\\" + gbkClass + "\\" + gbkName + "\r\n" + "\r\n" + gbkName + "\r\n";
  ASSERT_GT(reply.size(), 4u);
  EXPECT_EQ(reply.substr(4, expectedStart.size()), expectedStart);
  EXPECT_EQ(reply.substr(0, 4), Counted(reply.substr(4)).substr(0, 4));

  EXPECT_EQ(Request("CHGPSW 一班 张三 新密码"), "");
  EXPECT_EQ(Request("LOGIN 一班 张三 907183"), Counted("")) << "the old password is gone";
  EXPECT_GT(Request("LOGIN 一班 张三 新密码").size(), 4u);
  // By pinyin: 李四 before 张三, whatever the order they were added in.
  EXPECT_EQ(Request("ULIST 一班"), Counted("\xC0\xEE\xCB\xC4\r\n" + gbkName + "\r\n"));
  EXPECT_EQ(Request("GLIST"), Counted(gbkClass + "\r\n"));
  const std::string log = Request("GETSYSLOG");
  EXPECT_EQ(log.find("907183"), std::string::npos) << "no password in the log";
}

TEST_F(WindowsService, ListCarriesWindowsAttributesAndShortNames) {
  const fs::path mine = StartServiceWithStudentLoggedIn();
  {
    std::ofstream(mine / "A long file name.txt") << "twelve bytes";
    std::ofstream(mine / "locked.txt") << "x";
  }
  fs::create_directory(mine / "Folder");
  fs::permissions(mine / "locked.txt",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);

  const std::string reply = Request("LIST " + WinePath(mine) + "\\*");
  const auto records = net::DecodeListReply(reply);
  ASSERT_EQ(records.size(), 3u) << "no . and ..";
  const auto* longName = Named(records, "A long file name.txt");
  const auto* locked = Named(records, "locked.txt");
  const auto* folder = Named(records, "Folder");
  ASSERT_TRUE(longName && locked && folder);

  EXPECT_EQ(longName->size, 12u);
  EXPECT_FALSE(longName->IsFolder());
  EXPECT_TRUE(std::regex_match(longName->alternateName,
                               std::regex(R"([A-Z0-9_~!#$%&'()@^{}-]{1,8}(\.[A-Z0-9_~]{1,3})?)")))
      << "short 8.3 name from the Windows side: " << longName->alternateName;
  EXPECT_NE(longName->alternateName.find('~'), std::string::npos) << longName->alternateName;
  EXPECT_NE(longName->lastWriteTime, 0u);
  EXPECT_NE(longName->creationTime, 0u);

  EXPECT_NE(locked->attributes & platform::attr::kReadOnly, 0u);
  EXPECT_TRUE(folder->IsFolder());
  EXPECT_EQ(folder->size, 0u);

  // A path without wildcards names one entry; a name outside the student's folder is refused.
  EXPECT_EQ(net::DecodeListReply(Request("LIST " + WinePath(mine / "Folder"))).size(), 1u);
  EXPECT_EQ(Request("LIST " + WinePath(root) + "\\*"), std::string(4, '\0'));
  EXPECT_EQ(Request("LIST Z:\\etc\\*"), std::string(4, '\0'));
}

TEST_F(WindowsService, FileHeldOpenByAnotherProgramIsNeitherSentNorReplacedNorDeleted) {
  const fs::path mine = StartServiceWithStudentLoggedIn();
  const fs::path file = mine / "report.txt";
  std::ofstream(file) << "first draft";

  const std::string name = WinePath(file);
  const fs::path release = dir.Path() / "release";
  auto holder = StartWindows(buildDir / "tests" / "orvo-hold-open.exe", {name, WinePath(release)});
  ASSERT_EQ(holder->ReadLine(60s), "held");
  EXPECT_EQ(Request("GET " + name), "") << "sharing violation: nothing is sent";
  Request("PUT " + name, Counted("overwritten"));
  Request("DELETE " + name);
  Request("MOVE " + name + "|" + WinePath(mine / "moved.txt"));
  EXPECT_EQ(TempDir::Read(file), "first draft");
  EXPECT_FALSE(fs::exists(mine / "moved.txt"));

  std::ofstream(release).put('\n');
  ASSERT_EQ(holder->ReadLine(60s), "released");

  EXPECT_EQ(Request("GET " + name), Counted("first draft"));
  Request("PUT " + name, Counted("second draft"));
  EXPECT_EQ(TempDir::Read(file), "second draft");
}

TEST_F(WindowsService, ClientExeFetchesAndSendsFiles) {
  const fs::path mine = StartServiceWithStudentLoggedIn();
  std::ofstream(mine / "资料.txt") << "lesson notes";
  const fs::path local = dir.Path() / "local.txt";
  const Outcome get = StartWindows(Program("orvo"), {"--port", std::to_string(port), "get",
                                                     WinePath(mine / "资料.txt"), WinePath(local)})
                          ->Wait(60s);
  ASSERT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(TempDir::Read(local), "lesson notes");

  std::ofstream(local, std::ios::app) << " and homework";
  const Outcome put = StartWindows(Program("orvo"), {"--port", std::to_string(port), "put",
                                                     WinePath(local), WinePath(mine / "作业.txt")})
                          ->Wait(60s);
  ASSERT_EQ(put.status, 0) << put.err;
  EXPECT_EQ(TempDir::Read(mine / "作业.txt"), "lesson notes and homework");
}

}  // namespace
}  // namespace orvo
