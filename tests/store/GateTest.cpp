#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "store/OrvoDiskDbUnit.h"
#include "store/TimeText.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo::store {
namespace {

using orvo::testing::CreateDatabaseFromSchema;
using orvo::testing::RawConnection;
using orvo::testing::TempDir;

// Days of December 2026.
constexpr int kMonday = 7;
constexpr int kTuesday = 8;
constexpr int kSaturday = 12;
constexpr int kSunday = 13;

constexpr uint32_t kStartTick = 1000000;

class GateTest : public ::testing::Test {
 protected:
  GateTest()
      : path_(CreateDatabaseFromSchema(dir_ / "orvoDisk.db")),
        raw_(path_),
        db_(path_, settings_, clock_) {
    clock_.SetTickCount(kStartTick);
    At(kMonday, 8, 10);
    AddStudent("A", "zs", "张三", "pw");
  }

  void At(int day, int hour, int minute, int second = 0, int millisecond = 0) {
    clock_.SetNow(
        {2026, 12, day, hour, minute, second, millisecond, platform::DayOfWeek(2026, 12, day)});
  }

  void NextEvaluationDue() { clock_.AdvanceTicks(kTimetableRefreshMs + 1); }

  void AddStudent(const std::string& group, const std::string& id, const std::string& name,
                  const std::string& password) {
    raw_.Exec("insert into Users (UserId, UserName, PassWord, GroupName) values (" + QuotedStr(id) +
              "," + QuotedStr(name) + "," + QuotedStr(password) + "," + QuotedStr(group) + ")");
  }

  // A slot with a data server, which only something outside the service ever writes.
  void AddSlotWithServer(int week, const std::string& begin, const std::string& end,
                         const std::string& group, const std::string& ip, int port) {
    raw_.Exec(
        "insert into TimeTable (Week, BeginTime, EndTime, GroupName, ServerIP, ServerPort) "
        "values (" +
        std::to_string(week) + "," + QuotedStr(begin) + "," + QuotedStr(end) + "," +
        QuotedStr(group) + "," + QuotedStr(ip) + "," + std::to_string(port) + ")");
  }

  LoginResult Login(const std::string& group, const std::string& id = "zs",
                    const std::string& password = "pw") {
    return db_.CheckLogin(group, id, password);
  }

  std::string CurrentGroup() { return Login("").currGroupName; }

  // Whether another thread gets an operation through now: a database lock left held would keep
  // it waiting for good.
  bool LockIsFree() {
    return std::async(std::launch::async,
                      [this] {
                        db_.CurrWeekTemp();
                        return true;
                      })
        .get();
  }

  TempDir dir_;
  platform::ManualClock clock_;
  core::SettingsValues settings_;
  std::string path_;
  RawConnection raw_;
  TOrvoDiskDb db_;
};

struct Moment {
  int day;
  int hour, minute, second, millisecond;
  bool current;
};

TEST_F(GateTest, SlotIsCurrentStrictlyBetweenItsTimesOnItsWeekday) {
  db_.AddTimeTable("1", "08:00", "08:45", "A");
  const Moment moments[] = {
      {kMonday, 8, 0, 0, 0, false},     {kMonday, 8, 0, 0, 1, true},
      {kMonday, 8, 44, 59, 999, true},  {kMonday, 8, 45, 0, 0, false},
      {kMonday, 7, 59, 59, 999, false}, {kTuesday, 8, 10, 0, 0, false},
      {kSunday, 8, 10, 0, 0, false},
  };
  for (const Moment& m : moments) {
    At(m.day, m.hour, m.minute, m.second, m.millisecond);
    NextEvaluationDue();
    const LoginResult result = Login("A");
    EXPECT_EQ(result.accepted, m.current) << "day " << m.day << " " << m.hour << ":" << m.minute
                                          << ":" << m.second << "." << m.millisecond;
    EXPECT_EQ(result.currGroupName, m.current ? "A" : "");
    EXPECT_EQ(result.userName, m.current ? "张三" : "");
  }
}

TEST_F(GateTest, SlotEndingBeforeItBeginsNeverBecomesCurrent) {
  db_.AddTimeTable("1", "22:00", "02:00", "Night");
  // A lesson across midnight is two slots; midnight itself and the millisecond before lie in none.
  db_.AddTimeTable("1", "23:00", "23:59:59.999", "Late");
  db_.AddTimeTable("2", "00:00", "01:00", "Early");
  const struct {
    int day, hour, minute, second, millisecond;
    const char* group;
  } moments[] = {
      {kMonday, 22, 30, 0, 0, ""},        {kMonday, 23, 30, 0, 0, "Late"},
      {kMonday, 1, 0, 0, 0, ""},          {kMonday, 23, 59, 59, 999, ""},
      {kTuesday, 0, 0, 0, 0, ""},         {kTuesday, 0, 0, 0, 1, "Early"},
      {kMonday, 23, 59, 59, 998, "Late"}, {kTuesday, 1, 30, 0, 0, ""},
  };
  for (const auto& m : moments) {
    At(m.day, m.hour, m.minute, m.second, m.millisecond);
    NextEvaluationDue();
    EXPECT_EQ(CurrentGroup(), m.group) << "day " << m.day << " " << m.hour << ":" << m.minute << ":"
                                       << m.second << "." << m.millisecond;
  }
}

TEST_F(GateTest, LowerIdWinsOverlapAndGivesItsDataServer) {
  AddSlotWithServer(1, "07:00", "09:00", "A", "10.0.0.1", 9001);
  AddSlotWithServer(1, "08:00", "08:30", "B", "10.0.0.2", 9002);
  LoginResult result = Login("A");
  EXPECT_TRUE(result.accepted);
  EXPECT_EQ(result.currGroupName, "A");
  EXPECT_EQ(result.currDataHost, "10.0.0.1");
  EXPECT_EQ(result.currDataPort, "9001");

  db_.DeleteTimeTable(std::to_string(db_.TimeTableRows().front().id));
  NextEvaluationDue();
  result = Login("A");
  EXPECT_FALSE(result.accepted);
  EXPECT_EQ(result.currGroupName, "B");
  EXPECT_EQ(result.currDataHost, "10.0.0.2");
  EXPECT_EQ(result.currDataPort, "9002");

  // A slot the timetable window adds has no data server: the texts are empty, not "0".
  db_.DeleteTimeTableAll();
  db_.AddTimeTable("1", "08:00", "08:30", "A");
  NextEvaluationDue();
  result = Login("A");
  EXPECT_TRUE(result.accepted);
  EXPECT_EQ(result.currDataHost, "");
  EXPECT_EQ(result.currDataPort, "");
}

TEST_F(GateTest, ClassTestAdmitsWholeItemsOfTheSlotTextOnly) {
  const struct {
    const char* slot;
    const char* group;
    bool passes;
  } cases[] = {
      // Every way a teacher lists classes admits each of them.
      {"一班,二班", "一班", true},
      {"一班,二班", "二班", true},
      {"一班，二班", "二班", true},
      {"一班、二班", "二班", true},
      {"一班;二班", "二班", true},
      {"一班；二班", "二班", true},
      {"一班/二班", "二班", true},
      {"一班|二班", "二班", true},
      {"一班 二班", "二班", true},
      {"一班　二班", "二班", true},
      {" 一班 , 二班 ", "一班", true},
      {"ClassA", "ClassA", true},
      {"*", "anything", true},
      {"*", "", true},
      // A part of an item, or a class whose name holds a slot's class, is not admitted.
      {"17A", "7A", false},
      {"十一班", "一班", false},
      {"一班,二班", "班", false},
      {"一班,二班", "一", false},
      {"一班,二班", "三班", false},
      {"一班,二班", "一班,二班,三班", false},
      {"ClassA", "classa", false},
      {"ClassA", " ClassA", false},
      {"ClassA", "", false},
      {"A,,B", "", false},
      {"A*", "B", false},
      {"A*", "A", false},
  };
  // Every class of the table has a student with the same credentials, so only the class test
  // decides.
  std::set<std::string> classes;
  for (const auto& c : cases) classes.insert(c.group);
  for (const std::string& group : classes) AddStudent(group, "u", "student of " + group, "p");
  for (const auto& c : cases) {
    db_.DeleteTimeTableAll();
    db_.AddTimeTable("1", "08:00", "08:45", c.slot);
    NextEvaluationDue();
    const LoginResult result = Login(c.group, "u", "p");
    EXPECT_EQ(result.accepted, c.passes) << "slot '" << c.slot << "', class '" << c.group << "'";
    EXPECT_EQ(result.currGroupName, c.slot);
  }
}

TEST_F(GateTest, LoginStaysLiveThroughTheLessonAndTheGraceTimeAfterIt) {
  constexpr uint32_t kGrace = 15 * 60'000;
  db_.AddTimeTable("1", "08:00", "08:45", "A、B");
  db_.AddTimeTable("1", "09:50", "10:35", "A");
  db_.AddTimeTable("2", "08:00", "18:00", "A");
  const struct {
    int day, hour, minute;
    const char* group;
    uint32_t liveMs;
  } cases[] = {
      {kMonday, 8, 10, "A", (35 + 15) * 60'000},  // in the lesson: to its end plus the grace
      {kMonday, 8, 10, "B", (35 + 15) * 60'000},  // one of the lesson's classes
      {kMonday, 8, 50, "A", 10 * 60'000},         // saving at the bell
      {kMonday, 9, 0, "A", 0},                    // the grace time is over
      {kMonday, 9, 30, "A", 0},                   // between lessons
      {kMonday, 10, 0, "A", (35 + 15) * 60'000},  // the next lesson
      {kMonday, 8, 10, "C", 0},                   // another class's lesson
      {kMonday, 7, 59, "A", 0},                   // before any lesson
      {kSunday, 8, 10, "A", 0},                   // another weekday
  };
  for (const auto& c : cases) {
    At(c.day, c.hour, c.minute);
    EXPECT_EQ(db_.LoginLiveMs(c.group, kGrace), c.liveMs)
        << c.group << " at " << c.hour << ":" << c.minute << " on day " << c.day;
  }
  // A day made to follow Tuesday's lessons keeps Tuesday's class in.
  At(kMonday, 12, 0);
  db_.SetCurrWeekTemp(2);
  EXPECT_EQ(db_.LoginLiveMs("A", kGrace), (6 * 60 + 15) * 60'000u);
  db_.SetCurrWeekTemp(-1);
  // While the gate is paused no login ends by time.
  At(kSunday, 23, 0);
  db_.SetStopTimeTable(true);
  EXPECT_EQ(db_.LoginLiveMs("A", kGrace), kLoginLiveWhilePaused);
  EXPECT_EQ(db_.LoginLiveMs("unknown", kGrace), kLoginLiveWhilePaused);
}

TEST_F(GateTest, AcceptedLoginNamesItsRowAndOnlyAWrongPasswordCountsAsAGuess) {
  db_.AddTimeTable("1", "08:00", "08:45", "A");
  NextEvaluationDue();
  const LoginResult accepted = Login("A", "zs", "pw");
  ASSERT_TRUE(accepted.accepted);
  db_.AddGroup("A");
  EXPECT_TRUE(db_.StudentEnrolled(accepted.userRowId, "A", "zs"));
  EXPECT_FALSE(db_.StudentEnrolled(accepted.userRowId, "A", "other"));
  EXPECT_FALSE(db_.StudentEnrolled(accepted.userRowId + 1, "A", "zs"));
  db_.DeleteGroup("A");
  EXPECT_FALSE(db_.StudentEnrolled(accepted.userRowId, "A", "zs")) << "A left the class list";
  const LoginResult wrongPassword = Login("A", "zs", "guess");
  EXPECT_FALSE(wrongPassword.accepted);
  EXPECT_TRUE(wrongPassword.classAdmitted);
  AddStudent("B", "ls", "李四", "pw");
  const LoginResult notNow = Login("B", "ls", "pw");
  EXPECT_FALSE(notNow.accepted);
  EXPECT_FALSE(notNow.classAdmitted);
}

TEST_F(GateTest, PauseLetsEveryClassInAndKeepsTheLastDataServer) {
  AddSlotWithServer(1, "08:00", "08:45", "A", "10.0.0.7", 7000);
  AddStudent("", "nobody", "无班", "pw");
  EXPECT_TRUE(Login("A").accepted);

  db_.SetStopTimeTable(true);
  EXPECT_TRUE(db_.StopTimeTable());
  // Long after the slot the pause still stands and evaluates nothing.
  At(kTuesday, 20, 0);
  clock_.AdvanceTicks(10 * kTimetableRefreshMs);
  LoginResult result = Login("", "nobody", "pw");
  EXPECT_TRUE(result.accepted);
  EXPECT_EQ(result.userName, "无班");
  EXPECT_EQ(result.currGroupName, "*");
  EXPECT_EQ(result.currDataHost, "10.0.0.7");
  EXPECT_EQ(result.currDataPort, "7000");
  // The credentials are still looked up.
  EXPECT_FALSE(Login("B").accepted);
  EXPECT_FALSE(Login("A", "zs", "wrong").accepted);
}

// A read through a const view takes the same lock as the window's change: the thread sanitizer
// reports a race here if it does not.
TEST_F(GateTest, WeekdayOverrideIsReadUnderTheLockThroughAConstView) {
  const TOrvoDiskDb& view = db_;
  std::thread setter([this] {
    for (int i = 0; i < 2000; ++i) db_.SetCurrWeekTemp(i % 5 + 1);
  });
  int outOfRange = 0;
  for (int i = 0; i < 2000; ++i) {
    const int32_t weekday = view.CurrWeekTemp();
    if (weekday != -1 && (weekday < 1 || weekday > 5)) ++outOfRange;
  }
  setter.join();
  EXPECT_EQ(outOfRange, 0);
  EXPECT_EQ(view.CurrWeekTemp(), 5);
}

TEST_F(GateTest, CurrentClassIsTheOneTheGateAdmitsNow) {
  db_.AddTimeTable("1", "08:00", "08:45", "A");
  EXPECT_EQ(db_.CurrentGroupName(), "A");
  At(kMonday, 9, 0);
  NextEvaluationDue();
  EXPECT_EQ(db_.CurrentGroupName(), "");
  EXPECT_EQ(CurrentGroup(), "") << "as a login sees it";
  db_.SetStopTimeTable(true);
  EXPECT_EQ(db_.CurrentGroupName(), "*");
}

// Every change the operator makes through the store is seen by the very next check: a class kept
// out by a wrong lesson is let in as soon as the lesson is corrected, a second later.
TEST_F(GateTest, ChangesThroughTheStoreReachTheNextCheckAtOnce) {
  AddStudent("B", "ls", "李四", "pw");
  const struct {
    const char* what;
    std::function<void(TOrvoDiskDb&)> before;
    std::function<void(TOrvoDiskDb&)> change;
    bool admittedAfter;
  } kCases[] = {
      {"adding the lesson", [](TOrvoDiskDb&) {},
       [](TOrvoDiskDb& db) { db.AddTimeTable("1", "08:00", "08:45", "A"); }, true},
      {"correcting the class", [](TOrvoDiskDb& db) { db.AddTimeTable("1", "08:00", "08:45", "B"); },
       [](TOrvoDiskDb& db) {
         db.DeleteTimeTable(std::to_string(db.TimeTableRows().front().id));
         db.AddTimeTable("1", "08:00", "08:45", "A");
       },
       true},
      {"the weekday adjustment",
       [](TOrvoDiskDb& db) { db.AddTimeTable("2", "08:00", "08:45", "A"); },
       [](TOrvoDiskDb& db) { db.SetCurrWeekTemp(2); }, true},
      {"ending the adjustment",
       [](TOrvoDiskDb& db) {
         db.AddTimeTable("2", "08:00", "08:45", "A");
         db.SetCurrWeekTemp(2);
       },
       [](TOrvoDiskDb& db) { db.SetCurrWeekTemp(-1); }, false},
      {"deleting the lesson", [](TOrvoDiskDb& db) { db.AddTimeTable("1", "08:00", "08:45", "A"); },
       [](TOrvoDiskDb& db) { db.DeleteTimeTable(std::to_string(db.TimeTableRows().front().id)); },
       false},
      {"deleting every lesson",
       [](TOrvoDiskDb& db) { db.AddTimeTable("1", "08:00", "08:45", "A"); },
       [](TOrvoDiskDb& db) { db.DeleteTimeTableAll(); }, false},
      {"ending the pause",
       [](TOrvoDiskDb& db) {
         db.AddTimeTable("1", "08:00", "08:45", "B");
         db.CurrentGroupName();  // evaluated just now, before the pause
         db.SetStopTimeTable(true);
       },
       [](TOrvoDiskDb& db) { db.SetStopTimeTable(false); }, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    raw_.Exec("delete from TimeTable");
    db_.SetCurrWeekTemp(-1);
    db_.SetStopTimeTable(false);
    At(kMonday, 8, 10);
    c.before(db_);
    const bool admittedBefore = Login("A").accepted;
    ASSERT_NE(admittedBefore, c.admittedAfter);
    At(kMonday, 8, 10, 1);
    clock_.AdvanceTicks(1000);
    c.change(db_);
    EXPECT_EQ(Login("A").accepted, c.admittedAfter);
  }
}

// Another program's write to the file is not seen until the gate is told of it (the service does
// so on RELOAD and SIGHUP) or the once-a-minute evaluation comes round.
TEST_F(GateTest, ChangesWrittenByAnotherProgramWaitForTheMinuteOrForBeingTold) {
  EXPECT_FALSE(Login("A").accepted);  // evaluated at kStartTick: no slot
  AddSlotWithServer(1, "08:00", "08:45", "A", "", 0);
  clock_.AdvanceTicks(kTimetableRefreshMs);
  EXPECT_FALSE(Login("A").accepted);
  clock_.AdvanceTicks(1);
  EXPECT_TRUE(Login("A").accepted);

  raw_.Exec("update TimeTable set GroupName='B'");
  clock_.AdvanceTicks(1000);
  EXPECT_TRUE(Login("A").accepted) << "not told yet";
  db_.TimetableChanged();
  EXPECT_FALSE(Login("A").accepted);
  EXPECT_EQ(CurrentGroup(), "B");
}

TEST_F(GateTest, FirstEvaluationWaitsUntilTheTickCountPassesAMinute) {
  AddSlotWithServer(1, "08:00", "08:45", "A", "", 0);
  clock_.SetTickCount(kTimetableRefreshMs);
  EXPECT_FALSE(Login("A").accepted);
  EXPECT_EQ(CurrentGroup(), "");
  clock_.AdvanceTicks(1);
  EXPECT_TRUE(Login("A").accepted);
}

TEST_F(GateTest, TickWrapKeepsTheOnceAMinuteRhythm) {
  db_.AddTimeTable("1", "08:00", "08:45", "A");
  clock_.SetTickCount(UINT32_MAX - 29999);  // 30000 ms before the tick count wraps to 0
  EXPECT_TRUE(Login("A").accepted);

  raw_.Exec("delete from TimeTable");        // as another program would: the gate is not told
  clock_.AdvanceTicks(kTimetableRefreshMs);  // 30000 ms past the wrap
  ASSERT_EQ(clock_.TickCount(), 30000u);
  EXPECT_TRUE(Login("A").accepted);
  clock_.AdvanceTicks(1);
  EXPECT_FALSE(Login("A").accepted);

  AddSlotWithServer(1, "08:00", "08:45", "A", "", 0);
  clock_.AdvanceTicks(kTimetableRefreshMs);
  EXPECT_FALSE(Login("A").accepted);
  clock_.AdvanceTicks(1);
  EXPECT_TRUE(Login("A").accepted);
}

TEST_F(GateTest, BadTimeTextFailsTheCheckAndShutsTheGateUntilTheNextEvaluation) {
  AddSlotWithServer(1, "08:00", "08:45", "A", "10.0.0.3", 3000);
  db_.AddTimeTable("3", "8:00x", "09:00", "B");  // another weekday: parsed all the same
  // The bad row is reached only when no earlier row is current.
  LoginResult result = Login("A");
  EXPECT_TRUE(result.accepted);
  EXPECT_EQ(result.currDataHost, "10.0.0.3");

  At(kMonday, 9, 0);
  NextEvaluationDue();
  try {
    Login("A");
    ADD_FAILURE() << "the bad time text was not reported";
  } catch (const TimeTextError& error) {
    EXPECT_STREQ(error.what(), "'8:00x' is not a valid time");
  }
  EXPECT_TRUE(LockIsFree());

  // Back at 08:10 the good slot would be current, but no evaluation is due: the cleared texts
  // stand.
  At(kMonday, 8, 10);
  clock_.AdvanceTicks(kTimetableRefreshMs);
  result = Login("A");
  EXPECT_FALSE(result.accepted);
  EXPECT_EQ(result.currGroupName, "");
  EXPECT_EQ(result.currDataHost, "");
  EXPECT_EQ(result.currDataPort, "");
  db_.SetStopTimeTable(true);
  EXPECT_TRUE(Login("A").accepted);
  db_.SetStopTimeTable(false);

  clock_.AdvanceTicks(1);
  EXPECT_TRUE(Login("A").accepted);

  // The end time is parsed too, and the failure comes again at every due evaluation.
  raw_.Exec("update TimeTable set BeginTime='09:00', EndTime='24:00' where GroupName='B'");
  At(kMonday, 10, 0);
  NextEvaluationDue();
  try {
    Login("A");
    ADD_FAILURE() << "the bad time text was not reported";
  } catch (const TimeTextError& error) {
    EXPECT_STREQ(error.what(), "'24:00' is not a valid time");
  }
  NextEvaluationDue();
  EXPECT_THROW(Login("A"), TimeTextError);
}

TEST_F(GateTest, DatabaseFailureReachesTheCallerWithTheLockReleased) {
  raw_.Exec("drop table TimeTable");
  EXPECT_THROW(Login("A"), DbError);
  EXPECT_TRUE(LockIsFree());
  EXPECT_THROW(db_.TimeTableCount(), DbError);
  EXPECT_TRUE(LockIsFree());
}

TEST_F(GateTest, OnlyExactlyOneMatchingStudentRowAdmits) {
  db_.AddTimeTable("1", "08:00", "08:45", "A");
  LoginResult result = Login("A");
  EXPECT_TRUE(result.accepted);
  EXPECT_EQ(result.userName, "张三");  // the name, not the login id

  EXPECT_FALSE(Login("A", "zs", "PW").accepted);
  EXPECT_FALSE(Login("A", "ZS", "pw").accepted);
  // Credentials reach the engine only as quoted texts.
  EXPECT_FALSE(Login("A", "zs", "x' or '1'='1").accepted);
  EXPECT_FALSE(Login("A", "zs' --", "").accepted);

  AddStudent("A", "zs", "张三", "pw");
  result = Login("A");
  EXPECT_FALSE(result.accepted);
  EXPECT_EQ(result.userName, "");
  EXPECT_EQ(result.currGroupName, "A");

  raw_.Exec("delete from Users where Id=(select max(Id) from Users)");
  EXPECT_TRUE(Login("A").accepted);

  AddStudent("A", "O'Neil", "O'Neil", "it's");
  EXPECT_TRUE(Login("A", "O'Neil", "it's").accepted);
}

TEST_F(GateTest, WeekdayOverrideAppliesAnotherDaysRowsOnASaturday) {
  At(kSaturday, 8, 10);
  db_.AddTimeTable("3", "08:00", "08:45", "A");
  AddSlotWithServer(6, "08:00", "08:45", "Sat", "", 0);
  EXPECT_EQ(db_.CurrWeekTemp(), -1);
  EXPECT_EQ(CurrentGroup(), "Sat");
  EXPECT_FALSE(Login("A").accepted);

  // Choosing an override re-evaluates at the next check, without waiting a minute.
  db_.SetCurrWeekTemp(3);
  EXPECT_EQ(db_.CurrWeekTemp(), 3);
  EXPECT_TRUE(Login("A").accepted);
  std::vector<std::string> classes;
  db_.GroupList(classes);
  EXPECT_EQ(classes, std::vector<std::string>{"A"});

  db_.SetCurrWeekTemp(5);
  EXPECT_EQ(CurrentGroup(), "");
}

TEST_F(GateTest, WeekAndIdMustBePlainIntegersSoNoSqlGetsIn) {
  db_.AddTimeTable("1", "08:00", "08:45", "A");
  db_.AddTimeTable("2", "08:00", "08:45", "B");
  const std::vector<std::string> bad = {"",
                                        "-",
                                        "1); delete from Users; --",
                                        "1 or 1=1",
                                        "1;delete from Users",
                                        "Id",
                                        "+1",
                                        " 1",
                                        "1 ",
                                        "1.0",
                                        "0x1",
                                        "2147483648",
                                        "-2147483649",
                                        "99999999999999999999999999999999999999991"};
  for (const std::string& text : bad) {
    try {
      db_.AddTimeTable(text, "08:00", "08:45", "C");
      ADD_FAILURE() << "Week '" << text << "' was taken";
    } catch (const DbError& error) {
      EXPECT_EQ(std::string(error.what()), "'" + text + "' is not a valid integer value");
    }
    EXPECT_THROW(db_.DeleteTimeTable(text), DbError) << "Id '" << text << "'";
  }
  EXPECT_EQ(db_.TimeTableCount(), 2);
  EXPECT_EQ(raw_.Column("select count(*) from Users"), std::vector<std::string>{"1"});
  EXPECT_TRUE(LockIsFree());

  // Plain integers go through unchanged; a delete removes only its row.
  db_.AddTimeTable("7", "08:00", "08:45", "C");
  db_.AddTimeTable("-2147483648", "08:00", "08:45", "D");
  const std::vector<TimeTableRow> rows = db_.TimeTableRows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[2].week, 7);
  EXPECT_EQ(rows[3].week, INT32_MIN);
  db_.DeleteTimeTable("000000000000000000000" + std::to_string(rows[1].id));
  db_.DeleteTimeTable("2147483647");  // no such row
  std::vector<std::string> left;
  for (const TimeTableRow& row : db_.TimeTableRows()) left.push_back(row.groupName);
  EXPECT_EQ(left, (std::vector<std::string>{"A", "C", "D"}));
}

TEST_F(GateTest, TimetableRowsReadBackAsStored) {
  db_.AddTimeTable("2", "4:05 PM", "下午5:00", "O'Neil's 一班");
  AddSlotWithServer(1, "08:00", "08:45", "*", "192.168.1.20", 8080);
  raw_.Exec("insert into TimeTable (Week) values (NULL)");
  const std::vector<TimeTableRow> rows = db_.TimeTableRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(db_.TimeTableCount(), 3);
  EXPECT_LT(rows[0].id, rows[1].id);
  EXPECT_LT(rows[1].id, rows[2].id);
  EXPECT_EQ(rows[0].week, 2);
  EXPECT_EQ(rows[0].beginTime, "4:05 PM");
  EXPECT_EQ(rows[0].endTime, "下午5:00");
  EXPECT_EQ(rows[0].groupName, "O'Neil's 一班");
  EXPECT_EQ(rows[0].serverIp, "");
  EXPECT_EQ(rows[0].serverPort, "");
  EXPECT_EQ(rows[1].serverIp, "192.168.1.20");
  EXPECT_EQ(rows[1].serverPort, "8080");
  EXPECT_EQ(rows[2].week, 0);
  EXPECT_EQ(rows[2].beginTime, "");
  EXPECT_EQ(rows[2].groupName, "");

  db_.DeleteTimeTableAll();
  EXPECT_EQ(db_.TimeTableCount(), 0);
  EXPECT_TRUE(db_.TimeTableRows().empty());
}

TEST_F(GateTest, GroupListComparesStoredTimesAsTexts) {
  EXPECT_EQ(CurrentGroup(), "");  // evaluated with no slot: no data server either
  AddSlotWithServer(1, "08:00", "08:45", "A", "10.0.0.9", 9);
  std::vector<std::string> classes = {"left over"};
  db_.GroupList(classes);
  EXPECT_EQ(classes, std::vector<std::string>{"A"});
  // It copies the slot's data server into the gate, which the next check hands out.
  const LoginResult result = Login("A");
  EXPECT_EQ(result.currDataHost, "10.0.0.9");
  EXPECT_EQ(result.currDataPort, "9");
  EXPECT_EQ(result.currGroupName, "");

  // "*" lists every class; texts compare character by character, so "8:00" is not before "08:10".
  raw_.Exec("delete from TimeTable");
  raw_.Exec("insert into Groups (GroupName) values ('G1'),('G2')");
  db_.AddTimeTable("1", "8:00", "8:45", "B");
  db_.AddTimeTable("1", "08:00", "08:45", "*");
  db_.GroupList(classes);
  EXPECT_EQ(classes, (std::vector<std::string>{"G1", "G2"}));
  At(kMonday, 9, 0);
  db_.GroupList(classes);
  EXPECT_TRUE(classes.empty());
}

TEST_F(GateTest, ConcurrentChecksSeeOneConsistentGate) {
  db_.AddTimeTable("1", "08:00", "08:45", "A");
  std::atomic<bool> inconsistent{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        const LoginResult result = Login("A");
        const bool classOpen = result.currGroupName == "*" || result.currGroupName == "A";
        if (result.accepted != classOpen || (result.accepted && result.userName != "张三")) {
          inconsistent = true;
        }
      }
    });
  }
  for (int i = 0; i < 200; ++i) {
    db_.SetStopTimeTable(i % 3 == 0);
    clock_.AdvanceTicks(kTimetableRefreshMs / 2);
    if (i % 10 == 0) db_.AddTimeTable("1", "07:00", "09:00", "B");
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_FALSE(inconsistent);
}

}  // namespace
}  // namespace orvo::store
