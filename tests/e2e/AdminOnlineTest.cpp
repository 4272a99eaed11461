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
  Outcome Admin(const std::vector<std::string>& args) {
    return testing::RunAdmin(dir.Path().string(), args);
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
      {"gate", "status"},
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
  for (const std::vector<std::string>& command : {std::vector<std::string>{"online"},
                                                  {"kick", kLi},
                                                  {"kick", "--all"},
                                                  {"unblock", kLi},
                                                  {"gate", "pause"},
                                                  {"gate", "resume"},
                                                  {"gate", "status"}}) {
    const Outcome outcome = Admin(command);
    EXPECT_EQ(outcome.status, 1) << command[0];
    EXPECT_TRUE(Contains(outcome.err, "no service is running on " + dir.Path().string()))
        << outcome.err;
  }
  const Outcome add = Admin({"class", "add", "C1"});
  EXPECT_EQ(add.status, 0);
  EXPECT_EQ(add.err, "");
}

TEST_F(AdminTest, TimetableAddWarnsOfLessonsOfOtherClassesOnAtTheSameTime) {
  AdminOk({"init"});
  AdminOk({"class", "add", "一班"});
  AdminOk({"class", "add", "二班"});
  AdminOk({"timetable", "add", "1", "08:00", "08:45", "一班"});
  const Outcome overlapping = Admin({"timetable", "add", "1", "08:30", "09:15", "二班"});
  EXPECT_EQ(overlapping.status, 0) << overlapping.err;
  EXPECT_TRUE(Contains(overlapping.err, "warning: overlaps lesson 1 (08:00-08:45 一班)"))
      << overlapping.err;
  for (const std::vector<std::string>& quiet : std::vector<std::vector<std::string>>{
           {"2", "08:30", "09:15", "二班"},     // another weekday
           {"1", "09:15", "10:00", "二班"},     // right after
           {"1", "08:45", "09:00", "二班"}}) {  // within a lesson of the same class
    std::vector<std::string> args{"timetable", "add"};
    args.insert(args.end(), quiet.begin(), quiet.end());
    const Outcome outcome = Admin(args);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "") << quiet[0] << " " << quiet[1];
  }
}

TEST_F(AdminTest, TimetableAddWarnsOfClassesThatDoNotExistAndAddsTheLessonAllTheSame) {
  AdminOk({"init"});
  AdminOk({"class", "add", "初二（3）班"});
  AdminOk({"class", "add", "7A"});
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> warnings;
  } kCases[] = {
      {{"1", "08:00", "08:45", "初二（3）班"}, {}},
      {{"1", "09:00", "09:45", "*"}, {}},
      {{"2", "８：００", "8：45", "7A，初二(3)班、八班"},
       {"warning: there is no class named '初二(3)班' (did you mean '初二（3）班'?)\n",
        "warning: there is no class named '八班'\n"}},
      {{"6", "08:00", "08:45", "7a"}, {"there is no class named '7a' (did you mean '7A'?)"}},
  };
  for (const auto& c : kCases) {
    std::vector<std::string> args{"timetable", "add"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome outcome = Admin(args);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    if (c.warnings.empty()) {
      EXPECT_EQ(outcome.err, "");
    }
    for (const std::string& warning : c.warnings) {
      EXPECT_TRUE(Contains(outcome.err, warning)) << outcome.err;
    }
  }
  // Every lesson is there, the full-width times stored as half-width ones; Saturday is Week 6.
  const std::string listed = Admin({"timetable", "list"}).out;
  EXPECT_EQ(listed,
            "1\t1\t08:00\t08:45\t初二（3）班\n2\t1\t09:00\t09:45\t*\n"
            "3\t2\t8:00\t8:45\t7A，初二(3)班、八班\n4\t6\t08:00\t08:45\t7a\n");

  // Refusals name the argument that is wrong.
  const struct {
    std::vector<std::string> args;
    const char* says;
  } kRefused[] = {
      {{"0", "08:00", "08:45", "7A"}, "WEEKDAY is 1 (Monday) to 7 (Sunday)"},
      {{"1", "8点", "08:45", "7A"}, "BEGIN '8点' is not a valid time"},
      {{"1", "08:00", "", "7A"}, "END '' is not a valid time"},
      {{"1", "08:45", "８：４５", "7A"}, "must end after it begins"},
      {{"1", "08:00", "08:45", " ，"}, "CLASSES must name a class"},
  };
  for (const auto& c : kRefused) {
    std::vector<std::string> args{"timetable", "add"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome outcome = Admin(args);
    EXPECT_EQ(outcome.status, 1) << c.says;
    EXPECT_TRUE(Contains(outcome.err, c.says)) << outcome.err;
  }
  EXPECT_EQ(Admin({"timetable", "list"}).out, listed) << "a refused lesson was added";
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

TEST_F(AdminWithService, GateIsPausedAndResumedInTheRunningService) {
  AdminOk({"class", "add", "C2"});
  AdminOk({"student", "add", "C2", "Zhao"});
  Outcome status = Admin({"gate", "status"});
  ASSERT_EQ(status.status, 0) << status.err;
  EXPECT_EQ(status.out,
            "paused: no (the timetable decides)\nweekday adjustment: none\nlesson now: C1\n");
  EXPECT_FALSE(RawClient::LogInFrom(port, kWu, "C2", "Zhao", "907183")) << "C2 has no lesson";

  const Outcome pause = Admin({"gate", "pause"});
  ASSERT_EQ(pause.status, 0) << pause.err;
  EXPECT_TRUE(Contains(pause.out, "paused: yes")) << pause.out;
  EXPECT_TRUE(Contains(pause.out, "lesson now: every class\n")) << pause.out;
  EXPECT_TRUE(RawClient::LogInFrom(port, kWu, "C2", "Zhao", "907183"));
  EXPECT_TRUE(Contains(Admin({"gate", "status"}).out, "paused: yes")) << "the pause was lost";

  // A lesson added meanwhile is added, and the tool says why it does not seem to apply.
  const Outcome add = Admin({"timetable", "add", "1", "08:00", "08:45", "C1,C3"});
  EXPECT_EQ(add.status, 0) << add.err;
  EXPECT_TRUE(Contains(add.err, "gate is paused")) << add.err;

  const Outcome resume = Admin({"gate", "resume"});
  ASSERT_EQ(resume.status, 0) << resume.err;
  EXPECT_TRUE(Contains(resume.out, "paused: no")) << resume.out;
  EXPECT_FALSE(RawClient::LogInFrom(port, kWu, "C2", "Zhao", "907183"));
  EXPECT_TRUE(LogIn(kLi, "Li"));
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
