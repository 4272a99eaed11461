// The service's gate as the timetable in its database and the clock it is given decide it: a real
// service on a loopback port, a clock the test sets, LOGINs sent as a student PC sends them.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "service/ControlRequests.h"
#include "service/OrvoService.h"
#include "tests/support/Eventually.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo::service {
namespace {

using orvo::testing::RawClient;
using orvo::testing::TempDir;
using namespace std::chrono_literals;

constexpr uint32_t kMinute = 60'000;

class ServiceTimetable : public ::testing::Test {
 protected:
  void SetUp() override {
    orvo::testing::CreateDatabaseFromSchema(dir / store::kDatabaseFileName);
    At(1, 8, 10);
    service = std::make_unique<OrvoService>(dir.Path().string(), 0, clock);
    service->Start();
    store::TOrvoDiskDb& db = *service->Db();
    db.AddGroup("ClassA");
    db.AddGroup("ClassB");
    db.AddUser("Ann", "ClassA");
    db.AddUser("Bob", "ClassB");
    port = service->Port();
  }

  // Monday is day 1 (2026-12-07); the tick count moves on far enough that the gate looks again.
  void At(int day, int hour, int minute) {
    clock.SetNow({2026, 12, 6 + day, hour, minute, 0, 0, day});
    clock.AdvanceTicks(2 * kMinute);
  }
  bool LogsIn(const std::string& group, const std::string& student) {
    return RawClient::LogInFrom(port, "127.0.0.1", group, student, "907183");
  }

  TempDir dir;
  platform::ManualClock clock;
  std::unique_ptr<OrvoService> service;
  uint16_t port = 0;
};

TEST_F(ServiceTimetable, ALessonAdmitsOnlyItsClassWhileItRunsAndThePauseCheckLeavesItBe) {
  service->Db()->AddTimeTable("1", "08:00", "08:45", "ClassA");
  EXPECT_FALSE(service->PauseGateIfTimetableEmpty()) << "a timetable exists: no pause";
  At(1, 8, 10);
  EXPECT_TRUE(LogsIn("ClassA", "Ann")) << "in the lesson";
  EXPECT_FALSE(LogsIn("ClassB", "Bob")) << "not this class's lesson";
  EXPECT_FALSE(LogsIn("classa", "Ann")) << "the class name's case matters";
  At(1, 8, 50);
  EXPECT_FALSE(LogsIn("ClassA", "Ann")) << "the lesson is over";
  At(2, 8, 10);
  EXPECT_FALSE(LogsIn("ClassA", "Ann")) << "another weekday";
}

TEST_F(ServiceTimetable, WithAnEmptyTimetableThePauseCheckLetsEveryClassIn) {
  EXPECT_FALSE(LogsIn("ClassB", "Bob")) << "no lesson and no pause yet";
  service->SchedulePauseCheck(0ms);
  EXPECT_TRUE(orvo::testing::Eventually([&] { return LogsIn("ClassB", "Bob"); }));
  EXPECT_TRUE(LogsIn("ClassA", "Ann"));
}

TEST_F(ServiceTimetable, TheStartupPauseCheckLeavesAGateWhoseTimetableWasNotEmpty) {
  store::TOrvoDiskDb& db = *service->Db();
  db.AddTimeTable("1", "08:00", "08:45", "ClassA");
  service->SchedulePauseCheck(50ms);
  // Cleared before the check runs: the lesson is gone, and the gate must not open to everyone.
  db.DeleteTimeTableAll();
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(db.StopTimeTable());
  EXPECT_FALSE(LogsIn("ClassB", "Bob"));
}

// A teacher who sees a class refused corrects the lesson and the next login, a second later, gets
// in: whether the console changed it in the service's own process or orvo-admin wrote the file
// and sent RELOAD.
TEST_F(ServiceTimetable, ACorrectedLessonAdmitsTheNextLoginAtOnce) {
  store::TOrvoDiskDb& db = *service->Db();
  db.AddTimeTable("1", "08:00", "08:45", "ClassB");
  EXPECT_FALSE(LogsIn("ClassA", "Ann"));
  clock.SetNow({2026, 12, 7, 8, 10, 1, 0, 1});
  clock.AdvanceTicks(1000);
  db.DeleteTimeTableAll();
  db.AddTimeTable("1", "08:00", "08:45", "ClassA");
  EXPECT_TRUE(LogsIn("ClassA", "Ann")) << "changed in the service's process";

  // Another program (orvo-admin) moves the lesson to ClassB, then has the service reload.
  {
    core::SettingsValues settings;
    store::TOrvoDiskDb admin(service->DatabasePath(), settings);
    admin.DeleteTimeTableAll();
    admin.AddTimeTable("1", "08:00", "08:45", "ClassB");
  }
  clock.AdvanceTicks(1000);
  EXPECT_TRUE(LogsIn("ClassA", "Ann")) << "the service has not been told yet";
  const ControlReply reply = AskService(dir.Path().string(), kReloadRequest);
  ASSERT_TRUE(reply.ok) << reply.error;
  EXPECT_FALSE(LogsIn("ClassA", "Ann"));
  EXPECT_TRUE(LogsIn("ClassB", "Bob"));
}

}  // namespace
}  // namespace orvo::service
