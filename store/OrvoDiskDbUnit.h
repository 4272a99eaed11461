// TOrvoDiskDb: the one database object of the process. It keeps its TSimpleDb to itself and offers
// the operations on classes, students, saved settings and the timetable gate over it.
// Any thread may call any operation: each takes FLock for its whole run (so the shared cursor has
// one user at a time) and never does network I/O under it. Failures raise DbError (engine
// messages) or TimeTextError ("'%s' is not a valid time") after the lock is released.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/SettingsValues.h"
#include "platform/Clock.h"
#include "store/SimpleDbUnit.h"

namespace orvo::store {

// The password every newly added student gets.
inline constexpr char kDefaultPassword[] = "907183";
// The name of the database file in the application directory.
inline constexpr char kDatabaseFileName[] = "orvoDisk.db";
// What LoginLiveMs answers while the gate is paused: live, asked again after this long.
inline constexpr uint32_t kLoginLiveWhilePaused = 60000;
// The gate re-reads the timetable at most once in this many milliseconds of the tick count.
inline constexpr uint32_t kTimetableRefreshMs = 60000;

struct LoginResult {
  bool accepted = false;
  int32_t userRowId = 0;  // the Users row's Id when accepted
  // Whether the timetable (or a pause) let the class in: a refusal after that is a wrong login
  // id or password.
  bool classAdmitted = false;
  std::string userName;  // empty when refused
  std::string currGroupName;
  std::string currDataHost;
  std::string currDataPort;
};

struct StudentRow {
  int32_t id = 0;
  std::string groupName;
  std::string userName;
  std::string userId;
  std::string password;
};

// A name an add did not store, as it was given, and why (a Chinese sentence quoting it).
struct RefusedName {
  std::string name;
  std::string reason;
};

// What an add of a class or of students did. Names are trimmed of blanks at both ends first.
struct AddResult {
  std::vector<std::string> added;    // stored, trimmed, in the order given
  std::vector<std::string> present;  // skipped: the class list has it already (as stored), the
                                     // class has the student or the list named it before
  std::vector<RefusedName> refused;  // refused by the name rule (store/NameRule.h), or a
                                     // student differing from another only in letter case
};

struct TimeTableRow {
  int32_t id = 0;
  int32_t week = 0;
  std::string beginTime;
  std::string endTime;
  std::string groupName;
  std::string serverIp;
  std::string serverPort;
};

// The class text of a lesson that admits every class.
inline constexpr char kEveryClass[] = "*";

// The items of a lesson's class text, in order, empty ones left out. Items are separated by
// , ， 、 ; ； / | and blanks (the ideographic one too).
std::vector<std::string_view> LessonItems(std::string_view lessonGroups);

// Whether the lesson's class text admits class `aGroup`: it is "*", or one of its items equals
// the class.
bool LessonAdmits(std::string_view lessonGroups, std::string_view aGroup);

struct UnknownClass {
  std::string name;  // the item of the lesson's class text
  // An existing class that differs from it only in full-width or half-width forms ("（" and "("),
  // or in letter case: most likely what was meant. Empty when there is none.
  std::string suggestion;
};

// The items of a lesson's class text that are none of `classes`, in the order typed, each once.
// The whole text "*" names every class; "*" as one item among others names none.
std::vector<UnknownClass> UnknownLessonClasses(std::string_view lessonGroups,
                                               const std::vector<std::string>& classes);

class TOrvoDiskDb {
 public:
  // `settings` gives the root folder under which students' folders are made; it, like the clock,
  // must outlive the object. `busyTimeout` as for TSimpleDb.
  TOrvoDiskDb(const std::string& DbFileName, const core::SettingsValues& settings,
              const platform::Clock& clock = platform::SystemClock(),
              std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout);
  ~TOrvoDiskDb();
  TOrvoDiskDb(const TOrvoDiskDb&) = delete;
  TOrvoDiskDb& operator=(const TOrvoDiskDb&) = delete;

  const std::string& Filename() const { return FDb.Filename(); }

  // Raises DbError unless the file can be written and holds the four tables of the service
  // (Setting, Groups, Users, TimeTable), each with the engine's message.
  void CheckUsable();

  // --- classes, students and settings ---
  void CreateTable();  // does nothing: tables are never created by the service
  // Creates the TimeTable table as an older database lacked it; raises DbError when it exists.
  void CreateTimeTableTable();
  void GroupListAdmin(std::vector<std::string>& aList);
  void UserList(const std::string& aGroup, std::vector<std::string>& aList);
  // Adds the class `aName`, trimmed, unless the name rule refuses it or a class of that name
  // exists (letter case ignored, as the gate ignores it).
  AddResult AddGroup(const std::string& aName);
  void DeleteGroup(const std::string& aName);
  // Adds one student to class `aGroup` as the list form does, without its transaction; an empty
  // name is refused.
  AddResult AddUser(const std::string& aName, const std::string& aGroup);
  // Trims every name and leaves in NameList those to add: empty lines are dropped silently, names
  // the rule refuses, the class has, or the list named before are reported, and so is a name
  // that differs from one of those only in letter case. Inserts the rest in
  // one transaction and makes their folders under RootPath. The class name is not checked: a
  // class stored before the rule keeps its students coming.
  AddResult AddUser(std::vector<std::string>& NameList, const std::string& aGroup);
  void DeleteUser(const std::string& aName, const std::string& aGroup);
  bool ChangePSW(const std::string& aGroup, const std::string& aUserId, const std::string& aNewPSW);
  void GetSetting(std::string& RootPath, std::string& PublicPath, int32_t& GroupList,
                  int32_t& UserList, int32_t& AutoRun);
  void SetSetting(const std::string& RootPath, const std::string& PublicPath, int32_t GroupList,
                  int32_t UserList, int32_t AutoRun);
  // The students of a class with every column, as the student list shows them.
  std::vector<StudentRow> Students(const std::string& aGroup);
  // Whether the Users row `aId` still belongs to class `aGroup` with login id `aUserId`, and the
  // class is still in the class list: what keeps a login of that student live.
  bool StudentEnrolled(int32_t aId, const std::string& aGroup, const std::string& aUserId);

  // --- options beyond the settings (table Options, Name to Value) ---
  // Creates the Options table when the file has none (an older database); nothing else changes.
  void EnsureOptionsTable();
  std::map<std::string, std::string> OptionRows();
  void SetOption(const std::string& aName, const std::string& aValue);
  // Removes the option's row, so that it takes its default again.
  void ResetOption(const std::string& aName);

  // --- timetable and login gate ---
  LoginResult CheckLogin(const std::string& aGroup, const std::string& aUserId,
                         const std::string& aPassword);
  // How many milliseconds from now a login of class `aGroup` stays live: while a lesson of the
  // class is on, until its end plus `graceMs`; after it, what is left of the grace time; 0 when
  // the class has neither. While the gate is paused, kLoginLiveWhilePaused.
  uint32_t LoginLiveMs(const std::string& aGroup, uint32_t graceMs);
  // The class the timetable lets in now: "*" while the gate is paused, empty when no lesson is on.
  std::string CurrentGroupName();
  int32_t CurrWeekTemp() const;
  void SetCurrWeekTemp(int32_t Value);
  bool StopTimeTable() const { return FStopTimeTable.load(); }
  void SetStopTimeTable(bool Value);
  // Has the next check evaluate the timetable again instead of using what it found less than a
  // minute ago. The timetable operations of this object do it themselves; this is for a change
  // another program wrote to the file.
  void TimetableChanged();
  // Stores the times with full-width digits and colons read as half-width ones (HalfWidth), so
  // every reader of the file sees plain times.
  void AddTimeTable(const std::string& Week, const std::string& BeginTime,
                    const std::string& EndTime, const std::string& GroupName);
  void DeleteTimeTable(const std::string& aID);
  void DeleteTimeTableAll();
  void GroupList(std::vector<std::string>& aList);
  // Every timetable row in the order the table returns them.
  std::vector<TimeTableRow> TimeTableRows();
  int32_t TimeTableCount();

 private:
  void EnsureCurrGroup();  // expects FLock held
  // Sorts `names` for an add to class `aGroup`: `added` gets those to insert. Expects FLock held.
  AddResult ScreenStudents(const std::vector<std::string>& names, const std::string& aGroup,
                           bool dropEmpty);
  // Inserts one student row and makes its folder; expects FLock held.
  void InsertStudent(const std::string& aName, const std::string& aGroup);

  // Not part of the object's logical state: const reads take it too.
  mutable std::recursive_mutex FLock;
  TSimpleDb FDb;  // guarded by FLock: its one cursor is shared by every operation
  const core::SettingsValues& FSettings;
  const platform::Clock& FClock;
  uint32_t FCurrTick = 0;  // guarded by FLock
  // Guarded by FLock: the timetable, the adjustment or the pause changed since the last
  // evaluation, so the next check evaluates whatever the tick count says.
  bool FEvaluationDue = false;
  int32_t FCurrWeekTemp = -1;  // guarded by FLock
  std::atomic<bool> FStopTimeTable{false};
  std::string CurrGroupName;  // guarded by FLock
  std::string CurrDataHost;   // guarded by FLock
  std::string CurrDataPort;   // guarded by FLock
};

}  // namespace orvo::store
