// The service's control channel: a real service over a test database, students logging in through
// LOGIN from loopback addresses of their own, and the operator's requests sent through the
// folder's channel as the admin tool sends them; and how the tool reads ONLINE's reply.
#include "service/ControlRequests.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/ControlChannel.h"
#include "service/OrvoService.h"
#include "tests/support/ConnectionCounts.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo::service {
namespace {

using orvo::testing::CountLimitedConnections;
using orvo::testing::RawClient;
using orvo::testing::TempDir;
namespace fs = std::filesystem;

constexpr char kLi[] = "127.0.0.2";
constexpr char kWu[] = "127.0.0.3";
constexpr char kGuesser[] = "127.0.0.4";
const std::string kEmptyListing(4, '\0');

class ControlRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    orvo::testing::CreateDatabaseFromSchema(dir / store::kDatabaseFileName);
    clock.SetNow({2026, 12, 7, 8, 10, 5, 0, 1});
    clock.SetTickCount(10'000'000);
    service = std::make_unique<OrvoService>(dir.Path().string(), 0, clock);
    service->Start();
    store::TOrvoDiskDb& db = *service->Db();
    db.SetSetting(dir / "root", dir / "public", 0, 1, 0);
    service->ReloadSettings();
    db.AddGroup("C1");
    db.AddUser("Li", "C1");
    db.AddUser("Wu", "C1");
    // Every class may log in, and no login ends by time.
    db.SetStopTimeTable(true);
    dir.Write("root/C1/Li/essay.txt", "Li's essay");
    port = service->Port();
  }
  void TearDown() override { service.reset(); }

  std::string Request(const std::string& from, const std::string& line,
                      const std::string& extra = {}) {
    return RawClient::RequestFrom(port, from, line, extra);
  }
  bool LogIn(const std::string& from, const std::string& student,
             const std::string& password = "907183") {
    return RawClient::LogInFrom(port, from, "C1", student, password);
  }
  std::string ListLisFolder(const std::string& from) {
    return Request(from, "LIST " + (dir / "root") + "\\C1\\Li\\*");
  }
  ControlReply Ask(const std::string& request) { return AskService(dir.Path().string(), request); }
  GateStatus Gate(const std::string& request) {
    const ControlReply reply = Ask(request);
    EXPECT_TRUE(reply.ok) << request << ": " << reply.error;
    return ParseGateStatus(reply.lines);
  }
  OnlineView Online() {
    const ControlReply reply = Ask(kOnlineRequest);
    EXPECT_TRUE(reply.ok) << reply.error;
    return ParseOnlineView(reply.lines);
  }

  TempDir dir;
  platform::ManualClock clock;
  std::unique_ptr<OrvoService> service;
  uint16_t port = 0;
};

TEST_F(ControlRequests, OnlineShowsEveryLoginAndBlockAndTheOperatorEndsThem) {
  ASSERT_TRUE(LogIn(kLi, "Li"));
  ASSERT_NE(ListLisFolder(kLi), kEmptyListing);
  ASSERT_TRUE(LogIn(kWu, "Wu"));
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(LogIn(kGuesser, "Li", "000000"));

  OnlineView view = Online();
  ASSERT_EQ(view.logins.size(), 2u);
  const OnlineLoginTexts& li = view.logins[0].address == kLi ? view.logins[0] : view.logins[1];
  EXPECT_EQ(li.address, kLi);
  EXPECT_EQ(li.group, "C1");
  EXPECT_EQ(li.name, "Li");
  EXPECT_EQ(li.since, "2026-12-07 08:10:05");
  EXPECT_EQ(li.commands, "1");
  EXPECT_EQ(li.lastCommand, "LIST " + (dir / "root") + "\\C1\\Li\\*");
  ASSERT_EQ(view.blocked.size(), 1u);
  EXPECT_EQ(view.blocked[0].address, kGuesser);
  EXPECT_EQ(view.blocked[0].timeLeft, "5:00");

  EXPECT_TRUE(Ask(std::string(kKickRequest) + " " + kLi).ok);
  EXPECT_EQ(ListLisFolder(kLi), kEmptyListing) << "the ended login still reaches its folder";
  view = Online();
  ASSERT_EQ(view.logins.size(), 1u);
  EXPECT_EQ(view.logins[0].address, kWu);
  const ControlReply again = Ask(std::string(kKickRequest) + " " + kLi);
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.error, std::string("no login from ") + kLi);

  EXPECT_FALSE(LogIn(kGuesser, "Li")) << "blocked";
  EXPECT_TRUE(Ask(std::string(kUnblockRequest) + " " + kGuesser).ok);
  EXPECT_TRUE(LogIn(kGuesser, "Li"));
  EXPECT_FALSE(Ask(std::string(kUnblockRequest) + " " + kGuesser).ok) << "not blocked any more";

  const ControlReply all = Ask(kKickAllRequest);
  EXPECT_TRUE(all.ok);
  EXPECT_EQ(all.lines, std::vector<std::string>{"2"});
  EXPECT_TRUE(Online().logins.empty());
  EXPECT_EQ(ListLisFolder(kGuesser), kEmptyListing);
}

TEST_F(ControlRequests, OnlineListsTheAddressesTheConnectionLimitsTurnedAway) {
  ASSERT_TRUE(LogIn(kLi, "Li"));
  ASSERT_TRUE(LogIn(kWu, "Wu"));
  EXPECT_TRUE(Online().limited.empty()) << "an address with nothing refused or timed out is listed";
  CountLimitedConnections(*service->Server(), kWu, 0, 2);
  CountLimitedConnections(*service->Server(), kGuesser, 70, 0);

  OnlineView view = Online();
  EXPECT_EQ(view.logins.size(), 2u);
  ASSERT_EQ(view.limited.size(), 2u);
  std::sort(view.limited.begin(), view.limited.end(),
            [](const auto& a, const auto& b) { return a.address < b.address; });
  EXPECT_EQ(view.limited[0].address, kWu);
  EXPECT_EQ(view.limited[0].refused, "0");
  EXPECT_EQ(view.limited[0].timedOut, "2");
  EXPECT_EQ(view.limited[1].address, kGuesser);
  EXPECT_EQ(view.limited[1].refused, "70");
  EXPECT_EQ(view.limited[1].timedOut, "0");
}

TEST(OnlineViewParser, LeavesOutKindsItDoesNotKnowAndRecordsOfTheWrongLength) {
  const OnlineView view = ParseOnlineView({
      "LIMITED\t10.0.0.5\t3\t1",
      "LIMITED\t10.0.0.6\t3",
      "LIMITED\t10.0.0.7\t3\t1\t9",
      "BLOCKED\t10.0.0.8\t1:00",
      "THROTTLED\t10.0.0.9\t4",
      "",
  });
  ASSERT_EQ(view.limited.size(), 1u);
  EXPECT_EQ(view.limited[0].address, "10.0.0.5");
  EXPECT_EQ(view.limited[0].refused, "3");
  EXPECT_EQ(view.limited[0].timedOut, "1");
  ASSERT_EQ(view.blocked.size(), 1u);
  EXPECT_TRUE(view.logins.empty());
}

TEST_F(ControlRequests, ReloadTakesWhatAnotherProgramSaved) {
  ASSERT_TRUE(LogIn(kLi, "Li"));
  ASSERT_TRUE(LogIn(kWu, "Wu"));
  ASSERT_NE(ListLisFolder(kLi), kEmptyListing);
  EXPECT_EQ(Request(kLi, "GETSYSLOG"), kEmptyListing) << "a student's PC";
  // As the admin tool changes the database beside the running service.
  orvo::testing::RawConnection(dir / store::kDatabaseFileName)
      .Exec(
          "insert into Options (Name, Value) values ('SysLogHosts', '127.0.0.3');"
          "delete from Users where UserId = 'Li';");

  EXPECT_TRUE(Ask(kReloadRequest).ok);
  EXPECT_EQ(ListLisFolder(kLi), kEmptyListing) << "a deleted student's login lives on";
  EXPECT_GT(Request(kWu, "GETSYSLOG").size(), 4u) << "the option was not taken";
}

// The pause the console's check box sets, from the command line: the state comes back with every
// answer, logins taken during the pause are judged by the timetable again once it ends, and a
// lesson whose time cannot be read is shown as the reason instead of failing the request.
TEST_F(ControlRequests, GateIsPausedResumedAndShown) {
  GateStatus gate = Gate(kGateRequest);
  EXPECT_TRUE(gate.paused);
  EXPECT_EQ(gate.currentClass, "*");
  EXPECT_EQ(gate.weekAdjustment, -1);
  ASSERT_TRUE(LogIn(kLi, "Li"));
  ASSERT_NE(ListLisFolder(kLi), kEmptyListing);

  // It is Monday 08:10; the only lesson is C1's on Wednesday.
  service->Db()->AddTimeTable("3", "08:00", "08:45", "C1");
  gate = Gate(kResumeRequest);
  EXPECT_FALSE(gate.paused);
  EXPECT_EQ(gate.currentClass, "");
  EXPECT_FALSE(service->Db()->StopTimeTable());
  EXPECT_EQ(ListLisFolder(kLi), kEmptyListing) << "the login taken in the pause lives on";
  EXPECT_FALSE(LogIn(kWu, "Wu"));

  service->Db()->SetCurrWeekTemp(3);
  gate = Gate(kGateRequest);
  EXPECT_EQ(gate.weekAdjustment, 3);
  EXPECT_EQ(gate.currentClass, "C1");

  gate = Gate(kPauseRequest);
  EXPECT_TRUE(gate.paused);
  EXPECT_EQ(gate.currentClass, "*");
  EXPECT_TRUE(service->Db()->StopTimeTable());
  // Asking twice changes nothing.
  EXPECT_TRUE(Gate(kPauseRequest).paused);

  orvo::testing::RawConnection(dir / store::kDatabaseFileName)
      .Exec(
          "insert into TimeTable (Week, BeginTime, EndTime, GroupName) values (1, 'soon', "
          "'09:00', 'C1')");
  service->ReloadSettings();
  service->Db()->SetCurrWeekTemp(-1);  // so that no lesson before the bad one is on
  gate = Gate(kResumeRequest);
  EXPECT_FALSE(gate.paused);
  EXPECT_EQ(gate.problem, "'soon' is not a valid time");
}

TEST(GateStatusParser, ReadsTheRecordsItKnows) {
  const GateStatus gate = ParseGateStatus(
      {"PAUSED\t0", "ADJUSTMENT\t6", "NEWKIND\tx", "CLASS\t初二（3）班,一班", "PAUSED"});
  EXPECT_FALSE(gate.paused);
  EXPECT_EQ(gate.weekAdjustment, 6);
  EXPECT_EQ(gate.currentClass, "初二（3）班,一班");
  EXPECT_EQ(gate.problem, "");
  EXPECT_EQ(ParseGateStatus({}).weekAdjustment, -1);
}

TEST_F(ControlRequests, UnknownRequestsAreRefusedByName) {
  const std::pair<std::string, std::string> cases[] = {
      {"HELLO", "unknown request 'HELLO'"},
      {"online", "unknown request 'online'"},
      {"UNBLOCK 10.0.0.9", "10.0.0.9 is not blocked"},
      {"KICK", "no login from "},
  };
  for (const auto& [request, error] : cases) {
    const ControlReply reply = Ask(request);
    EXPECT_FALSE(reply.ok) << request;
    EXPECT_EQ(reply.error, error);
  }
}

TEST_F(ControlRequests, OneServicePerFolderAndTheChannelEndsWithTheService) {
  OrvoService second(dir.Path().string(), 0, clock);
  try {
    second.Start();
    ADD_FAILURE() << "a second service on the folder started";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("a service is running on " + dir.Path().string()),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(second.Db(), nullptr) << "the refused service keeps the database open";
  EXPECT_FALSE(second.Running());
  EXPECT_TRUE(Ask(kOnlineRequest).ok) << "the first service lost its channel";

  service->Stop();
  EXPECT_THROW(Ask(kOnlineRequest), platform::NoControlService);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / platform::kControlSocketName)));
}

}  // namespace
}  // namespace orvo::service
