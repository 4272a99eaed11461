// orvo-admin and a running orvo-serverd as separate processes: the online view, ending logins and
// lifting blocks through the service's control socket; changes made by orvo-admin reaching the
// running service at once; options in the settings; the messages for a folder without a
// database or without a service; and the addresses the connection limits turned away, counted
// in a service run inside the test.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "service/OrvoService.h"
#include "tests/support/ConnectionCounts.h"
#include "tests/support/Process.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo {
namespace {

using orvo::testing::Outcome;
using orvo::testing::Process;
using orvo::testing::RawClient;
using orvo::testing::TempDir;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kLi[] = "127.0.0.2";
constexpr char kWu[] = "127.0.0.3";
constexpr char kGuesser[] = "127.0.0.4";
const std::string kEmptyListing(4, '\0');

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class AdminTest : public ::testing::Test {
 protected:
  Outcome Admin(std::vector<std::string> args) {
    args.insert(args.begin(), {"--dir", dir.Path().string()});
    return testing::Run("orvo-admin", args);
  }
  void AdminOk(const std::vector<std::string>& args) {
    const Outcome outcome = Admin(args);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
  }

  TempDir dir;
};

TEST_F(AdminTest, WithoutADatabaseEveryCommandButInitNamesTheFileAndSuggestsInit) {
  const std::vector<std::string> commands[] = {
      {"class", "list"},
      {"class", "add", "C1"},
      {"student", "list", "C1"},
      {"student", "add", "C1", "Li"},
      {"timetable", "list"},
      {"timetable", "clear"},
      {"settings", "show"},
      {"settings", "set", "--option", "LoginGraceMinutes=20"},
      {"online"},
      {"kick", "--all"},
      {"unblock", kGuesser},
  };
  for (const auto& command : commands) {
    const Outcome outcome = Admin(command);
    EXPECT_EQ(outcome.status, 1) << command[0];
    EXPECT_TRUE(Contains(outcome.err, dir / "orvoDisk.db")) << outcome.err;
    EXPECT_TRUE(Contains(outcome.err, "orvo-admin --dir " + dir.Path().string() + " init"))
        << outcome.err;
    EXPECT_FALSE(Contains(outcome.err, "unable to open")) << outcome.err;
  }
  EXPECT_TRUE(fs::is_empty(dir.Path())) << "a command made something";
  AdminOk({"init"});
  AdminOk({"class", "list"});
}

TEST_F(AdminTest, WithoutAServiceTheServiceCommandsSaySoAndChangesGoOnQuietly) {
  AdminOk({"init"});
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"online"}, {"kick", kLi}, {"kick", "--all"}, {"unblock", kLi}}) {
    const Outcome outcome = Admin(command);
    EXPECT_EQ(outcome.status, 1) << command[0];
    EXPECT_TRUE(Contains(outcome.err, "no service is running on " + dir.Path().string()))
        << outcome.err;
  }
  const Outcome add = Admin({"class", "add", "C1"});
  EXPECT_EQ(add.status, 0);
  EXPECT_EQ(add.err, "");
}

TEST_F(AdminTest, OptionsAreShownSetCheckedAndReset) {
  AdminOk({"init"});
  // A database made before the options existed.
  testing::RawConnection(dir / "orvoDisk.db").Exec("drop table Options;");
  Outcome show = Admin({"settings", "show"});
  ASSERT_EQ(show.status, 0) << show.err;
  EXPECT_TRUE(Contains(show.out, "\nLoginGraceMinutes: 15 (default)\n")) << show.out;
  EXPECT_TRUE(Contains(show.out, "\nSysLogHosts: (default)\n")) << show.out;

  AdminOk({"settings", "set", "--option", "LoginGraceMinutes=20", "--option",
           "SysLogHosts=10.0.0.5 10.0.0.6", "--reset-option", "StudentQuotaMB"});
  show = Admin({"settings", "show"});
  EXPECT_TRUE(Contains(show.out, "\nLoginGraceMinutes: 20\n")) << show.out;
  EXPECT_TRUE(Contains(show.out, "\nSysLogHosts: 10.0.0.5 10.0.0.6\n")) << show.out;
  EXPECT_TRUE(Contains(show.out, "\nStudentQuotaMB: 0 (default)\n")) << show.out;

  const struct {
    std::vector<std::string> args;
    const char* says;
  } refused[] = {
      {{"--option", "Nonsense=1"}, "no option named 'Nonsense'"},
      {{"--option", "LoginGraceMinutes"}, "NAME=VALUE"},
      {{"--option", "LoginGraceMinutes=soon"}, "not a valid value for LoginGraceMinutes"},
      {{"--reset-option", "Nonsense"}, "no option named 'Nonsense'"},
      // One bad value stops the good ones and the settings beside it.
      {{"--root", "/elsewhere", "--option", "LoginFailLimit=3", "--option", "LoginBlockMinutes=x"},
       "LoginBlockMinutes"},
  };
  for (const auto& c : refused) {
    std::vector<std::string> args{"settings", "set"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome outcome = Admin(args);
    EXPECT_EQ(outcome.status, 1) << c.says;
    EXPECT_TRUE(Contains(outcome.err, c.says)) << outcome.err;
  }
  EXPECT_EQ(Admin({"settings", "show"}).out, show.out) << "a refused command changed something";

  AdminOk({"settings", "set", "--option", "LoginGraceMinutes=", "--reset-option", "SysLogHosts"});
  show = Admin({"settings", "show"});
  EXPECT_TRUE(Contains(show.out, "\nLoginGraceMinutes: 15 (default)\n")) << show.out;
  EXPECT_TRUE(Contains(show.out, "\nSysLogHosts: (default)\n")) << show.out;
}

TEST_F(AdminTest, OnlineListsTheLimitedAddressesAfterTheBlockedOnes) {
  AdminOk({"init"});
  service::OrvoService running(dir.Path().string(), 0);
  running.Start();
  ASSERT_TRUE(running.Running());
  testing::CountLimitedConnections(*running.Server(), kGuesser, 3, 1);

  const Outcome online = Admin({"online"});
  ASSERT_EQ(online.status, 0) << online.err;
  EXPECT_EQ(online.out, "logged in: 0\nblocked: 0\nlimited: 1\naddress\trefused\ttimed out\n" +
                            std::string(kGuesser) + "\t3\t1\n");
}

// A service on the folder, with class C1 (Li and Wu) in a lesson all day every day, so that what
// the real clock says, and a run across midnight, makes no difference.
class AdminWithService : public AdminTest {
 protected:
  void SetUp() override {
    AdminOk({"init"});
    AdminOk({"settings", "set", "--root", dir / "root"});
    AdminOk({"class", "add", "C1"});
    AdminOk({"student", "add", "C1", "Li", "Wu"});
    for (int day = 1; day <= 7; ++day) {
      AdminOk({"timetable", "add", std::to_string(day), "0:00", "23:59:59.999", "C1"});
    }
    dir.Write("root/C1/Li/essay.txt", "Li's essay");
    dir.Write("root/C1/Wu/essay.txt", "Wu's essay");
    testing::RunningService started = testing::StartService(dir.Path().string());
    ASSERT_NE(started.port, 0) << started.firstLine;
    service = std::move(started.process);
    port = started.port;
  }

  std::string Request(const std::string& from, const std::string& line,
                      const std::string& extra = {}) {
    return RawClient::RequestFrom(port, from, line, extra);
  }
  bool LogIn(const std::string& from, const std::string& student,
             const std::string& password = "907183") {
    return RawClient::LogInFrom(port, from, "C1", student, password);
  }
  // Whether `from` lists the essay in the folder of `student`.
  bool Reaches(const std::string& from, const std::string& student) {
    return Request(from, "LIST " + (dir / "root") + "\\C1\\" + student + "\\*") != kEmptyListing;
  }

  std::unique_ptr<Process> service;
  uint16_t port = 0;
};

TEST_F(AdminWithService, OnlineKickAndUnblockReachTheRunningService) {
  ASSERT_TRUE(LogIn(kLi, "Li"));
  ASSERT_TRUE(LogIn(kWu, "Wu"));
  ASSERT_TRUE(Reaches(kLi, "Li"));
  for (int i = 0; i < 5; ++i) LogIn(kGuesser, "Li", "000000");

  Outcome online = Admin({"online"});
  ASSERT_EQ(online.status, 0) << online.err;
  EXPECT_TRUE(Contains(online.out, "logged in: 2\n")) << online.out;
  EXPECT_TRUE(Contains(online.out, "address\tclass\tname\tsince\tcommands\tlast command\n"));
  EXPECT_TRUE(Contains(online.out, std::string(kLi) + "\tC1\tLi\t")) << online.out;
  EXPECT_TRUE(Contains(online.out, "\t1\tLIST ")) << online.out;
  // Five minutes, rounded up to whole seconds, less the moments since the block began.
  const std::string blocked = "blocked: 1\naddress\ttime left\n" + std::string(kGuesser) + "\t";
  EXPECT_TRUE(Contains(online.out, blocked + "5:00\n") || Contains(online.out, blocked + "4:5"))
      << online.out;

  const Outcome kick = Admin({"kick", kLi});
  EXPECT_EQ(kick.status, 0) << kick.err;
  EXPECT_FALSE(Reaches(kLi, "Li"));
  EXPECT_TRUE(Reaches(kWu, "Wu"));
  const Outcome again = Admin({"kick", kLi});
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(Contains(again.err, std::string("no login from ") + kLi)) << again.err;

  EXPECT_FALSE(LogIn(kGuesser, "Li"));
  AdminOk({"unblock", kGuesser});
  EXPECT_TRUE(LogIn(kGuesser, "Li"));

  const Outcome all = Admin({"kick", "--all"});
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_TRUE(Contains(all.out, "logins ended: 2")) << all.out;
  EXPECT_FALSE(Reaches(kWu, "Wu"));
  online = Admin({"online"});
  EXPECT_EQ(online.out, "logged in: 0\nblocked: 0\nlimited: 0\n");
}

TEST_F(AdminWithService, ChangesOfTheAdminToolTakeEffectInTheRunningServiceAtOnce) {
  ASSERT_TRUE(LogIn(kLi, "Li"));
  ASSERT_TRUE(LogIn(kWu, "Wu"));
  ASSERT_TRUE(Reaches(kLi, "Li"));
  AdminOk({"student", "del", "C1", "Li"});
  EXPECT_FALSE(Reaches(kLi, "Li")) << "a deleted student's login lives on";
  EXPECT_TRUE(Reaches(kWu, "Wu"));

  EXPECT_EQ(Request(kWu, "GETSYSLOG"), kEmptyListing);
  const Outcome set = Admin({"settings", "set", "--option", std::string("SysLogHosts=") + kWu});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_TRUE(Contains(set.out, "the running service has taken it")) << set.out;
  EXPECT_GT(Request(kWu, "GETSYSLOG").size(), 4u) << "the option did not reach the service";

  AdminOk({"timetable", "clear"});
  EXPECT_FALSE(Reaches(kWu, "Wu")) << "a login outlived its lesson's removal";

  service->Signal(SIGTERM);
  EXPECT_EQ(service->Wait(10s).status, 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "orvo-serverd.sock")));
  const Outcome after = Admin({"class", "add", "C2"});
  EXPECT_EQ(after.status, 0);
  EXPECT_EQ(after.err, "") << "no service to tell is no failure";
}

}  // namespace
}  // namespace orvo
