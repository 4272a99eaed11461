// Drives the account commands of the built `orvo` program against orvo-serverd running as a
// process on a temporary database made by orvo-admin, and checks what it prints and its status.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/Eventually.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace orvo {
namespace {

using orvo::testing::Eventually;
using orvo::testing::Outcome;
using orvo::testing::Process;
using orvo::testing::TempDir;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ClientAccount : public ::testing::Test {
 protected:
  void SetUp() override {
    root = (dir.Path() / "root").string();
    fs::create_directories(root);
    AdminOk({"init"});
    AdminOk({"settings", "set", "--root", root, "--public", "/srv/公共", "--student-list", "on"});
    AdminOk({"class", "add", "一班"});
    AdminOk({"class", "add", "3A"});
    AdminOk({"student", "add", "一班", "张三", "李四"});
    AdminOk({"student", "add", "3A", "Wang"});
    testing::RunningService started = testing::StartService(dir.Path().string());
    ASSERT_NE(started.port, 0) << started.firstLine;
    service = std::move(started.process);
    port = std::to_string(started.port);
  }

  void AdminOk(const std::vector<std::string>& args) {
    const Outcome outcome = testing::RunAdmin(dir.Path().string(), args);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
  }

  Outcome Orvo(std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", port, "--timeout", "20"});
    return testing::Run("orvo", args);
  }

  // The timetable is empty, so the service opens the gate to every class shortly after it
  // starts; until then logins are refused. Waits for an accepted login, within a limit.
  Outcome LoginOnceTheGateOpens(const std::string& group, const std::string& id,
                                const std::string& password) {
    Outcome outcome;
    Eventually(
        [&] {
          return (outcome = Orvo({"login", group, id, password})).status == 0;
        },
        20s, 20ms);
    return outcome;
  }

  static void ExpectRefused(const Outcome& outcome) {
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "orvo: login refused\n");
  }

  TempDir dir;
  std::string root;
  std::unique_ptr<Process> service;
  std::string port;
};

TEST_F(ClientAccount, LoginPrintsTheSevenLabelledLinesAndARefusalFails) {
  const Outcome accepted = LoginOnceTheGateOpens("一班", "张三", "907183");
  ASSERT_EQ(accepted.status, 0) << accepted.err;
  EXPECT_EQ(accepted.err, "");
  const std::string expectedStart = "student folder: " + root + "\\一班\\张三\n" +
                                    "public folder: /srv/公共\n" + "name: 张三\n" +
                                    "public caption: 课堂资源\n";
  ASSERT_EQ(accepted.out.substr(0, expectedStart.size()), expectedStart) << accepted.out;
  EXPECT_TRUE(std::regex_match(accepted.out.substr(expectedStart.size()),
                               std::regex("server time: [0-9]{4}-[0-9]{2}-[0-9]{2} "
                                          "[0-9]{2}:[0-9]{2}:[0-9]{2}\n"
                                          "data host: \n"
                                          "data port: \n")))
      << accepted.out;

  ExpectRefused(Orvo({"login", "一班", "张三", "wrong"}));
  ExpectRefused(Orvo({"login", "3A", "张三", "907183"}));    // another class
  ExpectRefused(Orvo({"login", "一班", "王五", "907183"}));  // no such student

  // The class and the login id travel separated by blanks; the client will not send one inside.
  const Outcome blank = Orvo({"login", "一 班", "张三", "907183"});
  EXPECT_EQ(blank.status, 1);
  EXPECT_NE(blank.err.find("a class name cannot contain a blank"), std::string::npos) << blank.err;
}

TEST_F(ClientAccount, PasswdChangesThePasswordOfTheStudentLoggedInHere) {
  ASSERT_EQ(LoginOnceTheGateOpens("3A", "Wang", "907183").status, 0);
  // A blank inside the new password is part of it.
  const Outcome sent = Orvo({"passwd", "3A", "Wang", "new pass"});
  EXPECT_EQ(sent.status, 0) << sent.err;
  EXPECT_EQ(sent.out, "sent; the server does not confirm\n");
  EXPECT_EQ(sent.err, "");

  ExpectRefused(Orvo({"login", "3A", "Wang", "907183"}));
  EXPECT_EQ(Orvo({"login", "3A", "Wang", "new pass"}).status, 0);

  // Not the student logged in from this address: sent alike, and nothing changes.
  EXPECT_EQ(Orvo({"passwd", "一班", "李四", "stolen"}).status, 0);
  ExpectRefused(Orvo({"login", "一班", "李四", "stolen"}));
}

TEST_F(ClientAccount, StudentsAndClassesListWhatTheServerServes) {
  const Outcome students = Orvo({"students", "一班"});
  EXPECT_EQ(students.status, 0) << students.err;
  // In the console's order (pinyin, Latin first), not the order they were added in.
  EXPECT_EQ(students.out, "李四\n张三\n");
  const Outcome none = Orvo({"students", "no such class"});
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.out, "");

  const Outcome classes = Orvo({"classes"});
  EXPECT_EQ(classes.status, 0) << classes.err;
  EXPECT_EQ(classes.out, "3A\n一班\n");

  // With the lists switched off the server answers an empty list.
  AdminOk({"settings", "set", "--student-list", "off", "--class-list", "off"});
  service->Signal(SIGHUP);
  Outcome off;
  Eventually([&] { return (off = Orvo({"classes"})).out.empty(); }, 20s, 20ms);
  EXPECT_EQ(off.status, 0) << off.err;
  EXPECT_EQ(off.out, "");
  EXPECT_EQ(Orvo({"students", "一班"}).out, "");
}

}  // namespace
}  // namespace orvo
