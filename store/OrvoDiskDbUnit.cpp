// Classes, students and saved settings. The timetable gate of the same class lives in
// TimetableGate.cpp.
#include "store/OrvoDiskDbUnit.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "core/IgnoringCase.h"
#include "platform/CaseFold.h"
#include "platform/FileSystem.h"
#include "store/NameRule.h"

namespace orvo::store {
namespace {

// The tables the service reads; a file without one of them is not the service's database.
constexpr const char* kServiceTables[] = {"Setting", "Groups", "Users", "TimeTable"};

// The TimeTable table as an older database lacked it, one line per column as it was written.
constexpr const char* kCreateTimeTableLines[] = {
    "CREATE TABLE [TimeTable]",
    "(",
    "[Id] INTEGER PRIMARY KEY AUTOINCREMENT,",
    "[Week] INTEGER,",
    "[BeginTime] DATETIME,",
    "[EndTime] DATETIME,",
    "[GroupName] VARCHAR(36),",
    "[ServerIP] VARCHAR(36),",
    "[ServerPort] INTEGER",
    ");",
};

using Guard = std::lock_guard<std::recursive_mutex>;

std::string StudentCondition(const std::string& aGroup, const std::string& aName) {
  return "GroupName=" + QuotedStr(aGroup) + " AND UserName=" + QuotedStr(aName);
}

// Whether a class or student name would climb out of the folder it is made in ("..", or ".." as
// one of the levels that separators make of it).
bool ClimbsOut(const std::string& name) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of("\\/", start);
    if (name.compare(start, end == std::string::npos ? std::string::npos : end - start, "..") == 0)
      return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

// The student folder root\class\name, made with every missing level. Nothing is reported when
// it cannot be made. Without a root folder the path would start at the file-system root, and a
// name with a ".." level would reach outside the root folder: then no folder is made at all.
void MakeStudentFolder(const std::string& root, const std::string& aGroup,
                       const std::string& aName) {
  if (root.empty() || ClimbsOut(aGroup) || ClimbsOut(aName)) return;
  std::string folder = root + "\\" + aGroup + "\\" + aName;
  std::replace(folder.begin(), folder.end(), '\\', '/');
  platform::CreateFolderPath(folder);
}

}  // namespace

TOrvoDiskDb::TOrvoDiskDb(const std::string& DbFileName, const core::SettingsValues& settings,
                         const platform::Clock& clock, std::chrono::milliseconds busyTimeout)
    : FDb(DbFileName, busyTimeout), FSettings(settings), FClock(clock) {}

TOrvoDiskDb::~TOrvoDiskDb() = default;

void TOrvoDiskDb::CheckUsable() {
  const Guard guard(FLock);
  FDb.RequireWritable();
  for (const char* table : kServiceTables) FDb.Select(table);
}

void TOrvoDiskDb::CreateTable() {}

void TOrvoDiskDb::CreateTimeTableTable() {
  const Guard guard(FLock);
  TQuery& query = FDb.Query();
  query.ClearSQL();
  for (const char* line : kCreateTimeTableLines) query.AddSQL(line);
  query.ExecSQL();
}

void TOrvoDiskDb::GroupListAdmin(std::vector<std::string>& aList) {
  const Guard guard(FLock);
  aList.clear();
  FDb.Select("Groups");
  for (TQuery& query = FDb.Query(); !query.Eof(); query.Next()) {
    aList.push_back(query.FieldByName("GroupName").AsString());
  }
}

void TOrvoDiskDb::UserList(const std::string& aGroup, std::vector<std::string>& aList) {
  const Guard guard(FLock);
  FDb.Select("Users", "GroupName=" + QuotedStr(aGroup));
  for (TQuery& query = FDb.Query(); !query.Eof(); query.Next()) {
    aList.push_back(query.FieldByName("UserName").AsString());
  }
}

std::vector<StudentRow> TOrvoDiskDb::Students(const std::string& aGroup) {
  const Guard guard(FLock);
  std::vector<StudentRow> rows;
  FDb.Select("Users", "GroupName=" + QuotedStr(aGroup));
  for (TQuery& query = FDb.Query(); !query.Eof(); query.Next()) {
    StudentRow row;
    row.id = query.FieldByName("Id").AsInteger();
    row.groupName = query.FieldByName("GroupName").AsString();
    row.userName = query.FieldByName("UserName").AsString();
    row.userId = query.FieldByName("UserId").AsString();
    row.password = query.FieldByName("PassWord").AsString();
    rows.push_back(std::move(row));
  }
  // The indexes that keep look-ups from scanning a class may hand rows out in name order; the
  // list shows them in the order they were added.
  std::sort(rows.begin(), rows.end(),
            [](const StudentRow& a, const StudentRow& b) { return a.id < b.id; });
  return rows;
}

AddResult TOrvoDiskDb::AddGroup(const std::string& aName) {
  const Guard guard(FLock);
  AddResult result;
  const std::string name = TrimBlanks(aName);
  std::string refusal = NameRefusal(name, NameKind::Class);
  if (!refusal.empty()) {
    result.refused.push_back({aName, std::move(refusal)});
    return result;
  }
  FDb.Select("Groups");
  for (TQuery& query = FDb.Query(); !query.Eof(); query.Next()) {
    std::string stored = query.FieldByName("GroupName").AsString();
    if (core::EqualIgnoringCase(stored, name)) {
      result.present.push_back(std::move(stored));
      return result;
    }
  }
  FDb.Insert("Groups", {"GroupName"}, {QuotedStr(name)});
  result.added.push_back(name);
  return result;
}

void TOrvoDiskDb::DeleteGroup(const std::string& aName) {
  const Guard guard(FLock);
  FDb.Delete("Groups", "GroupName=" + QuotedStr(aName));
}

AddResult TOrvoDiskDb::ScreenStudents(const std::vector<std::string>& names,
                                      const std::string& aGroup, bool dropEmpty) {
  // The class's names, as stored and with letter case folded, read once: a pasted list of
  // thousands is then checked in memory, never with a statement a name.
  std::unordered_set<std::string> taken;
  std::unordered_set<std::u16string> takenFolded;
  FDb.Select("Users", "GroupName=" + QuotedStr(aGroup));
  for (TQuery& query = FDb.Query(); !query.Eof(); query.Next()) {
    std::string stored = query.FieldByName("UserName").AsString();
    takenFolded.insert(platform::FoldedUnits(stored));
    taken.insert(std::move(stored));
  }
  AddResult result;
  for (const std::string& typed : names) {
    std::string name = TrimBlanks(typed);
    if (name.empty() && dropEmpty) continue;
    std::string refusal = NameRefusal(name, NameKind::Student);
    if (!refusal.empty()) {
      result.refused.push_back({typed, std::move(refusal)});
    } else if (taken.contains(name)) {
      // Two rows of one name would let neither student log in.
      result.present.push_back(std::move(name));
    } else if (!takenFolded.insert(platform::FoldedUnits(name)).second) {
      result.refused.push_back({typed, LetterCaseTwinRefusal(name)});
    } else {
      taken.insert(name);
      result.added.push_back(std::move(name));
    }
  }
  return result;
}

void TOrvoDiskDb::InsertStudent(const std::string& aName, const std::string& aGroup) {
  FDb.Insert("Users", {"UserId", "UserName", "PassWord", "GroupName"},
             {QuotedStr(aName), QuotedStr(aName), QuotedStr(kDefaultPassword), QuotedStr(aGroup)});
  MakeStudentFolder(FSettings.RootPath.Get(), aGroup, aName);
}

AddResult TOrvoDiskDb::AddUser(const std::string& aName, const std::string& aGroup) {
  const Guard guard(FLock);
  AddResult result = ScreenStudents({aName}, aGroup, false);
  for (const std::string& name : result.added) InsertStudent(name, aGroup);
  return result;
}

AddResult TOrvoDiskDb::AddUser(std::vector<std::string>& NameList, const std::string& aGroup) {
  const Guard guard(FLock);
  // Every name is tested before the first insert.
  AddResult result = ScreenStudents(NameList, aGroup, true);
  NameList = result.added;
  FDb.StartTransaction();
  try {
    for (const std::string& name : NameList) InsertStudent(name, aGroup);
  } catch (...) {
    // The students inserted before the failure are kept: commit them, then report the failure.
    try {
      FDb.Commit();
    } catch (const DbError&) {
      // The insert's failure is the one the caller hears of.
    }
    throw;
  }
  FDb.Commit();
  return result;
}

void TOrvoDiskDb::DeleteUser(const std::string& aName, const std::string& aGroup) {
  const Guard guard(FLock);
  FDb.Delete("Users", StudentCondition(aGroup, aName));
}

bool TOrvoDiskDb::ChangePSW(const std::string& aGroup, const std::string& aUserId,
                            const std::string& aNewPSW) {
  const Guard guard(FLock);
  FDb.Update("Users", {"Password"}, {QuotedStr(aNewPSW)},
             "GroupName=" + QuotedStr(aGroup) + " and UserId=" + QuotedStr(aUserId));
  return true;
}

bool TOrvoDiskDb::StudentEnrolled(int32_t aId, const std::string& aGroup,
                                  const std::string& aUserId) {
  const Guard guard(FLock);
  return FDb.Select("Users", "Id=" + std::to_string(aId) + " and GroupName=" + QuotedStr(aGroup) +
                                 " and UserId=" + QuotedStr(aUserId)) > 0 &&
         FDb.Select("Groups", "GroupName=" + QuotedStr(aGroup)) > 0;
}

void TOrvoDiskDb::EnsureOptionsTable() {
  const Guard guard(FLock);
  FDb.Query().SetSQL(
      "create table if not exists [Options] ([Name] TEXT PRIMARY KEY, [Value] TEXT)");
  FDb.Query().ExecSQL();
}

std::map<std::string, std::string> TOrvoDiskDb::OptionRows() {
  const Guard guard(FLock);
  std::map<std::string, std::string> rows;
  FDb.Select("Options");
  for (TQuery& query = FDb.Query(); !query.Eof(); query.Next()) {
    rows[query.FieldByName("Name").AsString()] = query.FieldByName("Value").AsString();
  }
  return rows;
}

void TOrvoDiskDb::SetOption(const std::string& aName, const std::string& aValue) {
  const Guard guard(FLock);
  FDb.Query().SetSQL("insert or replace into [Options] ([Name], [Value]) values (" +
                     QuotedStr(aName) + ", " + QuotedStr(aValue) + ")");
  FDb.Query().ExecSQL();
}

void TOrvoDiskDb::ResetOption(const std::string& aName) {
  const Guard guard(FLock);
  FDb.Delete("Options", "Name=" + QuotedStr(aName));
}

void TOrvoDiskDb::GetSetting(std::string& RootPath, std::string& PublicPath, int32_t& GroupList,
                             int32_t& UserList, int32_t& AutoRun) {
  const Guard guard(FLock);
  if (FDb.Select("Setting") <= 0) return;
  const TQuery& query = FDb.Query();
  // Read everything before assigning anything, so a bad value leaves all five as they were.
  std::string root = query.FieldByName("RootPath").AsString();
  std::string pub = query.FieldByName("PublicPath").AsString();
  const int32_t groupList = query.FieldByName("GroupList").AsInteger();
  const int32_t userList = query.FieldByName("UserList").AsInteger();
  const int32_t autoRun = query.FieldByName("AutoRun").AsInteger();
  RootPath = std::move(root);
  PublicPath = std::move(pub);
  GroupList = groupList;
  UserList = userList;
  AutoRun = autoRun;
}

void TOrvoDiskDb::SetSetting(const std::string& RootPath, const std::string& PublicPath,
                             int32_t GroupList, int32_t UserList, int32_t AutoRun) {
  const Guard guard(FLock);
  const int32_t rows = FDb.Select("Setting");
  const std::vector<std::string> fields = {"RootPath", "PublicPath", "GroupList", "UserList",
                                           "AutoRun"};
  const std::vector<std::string> values = {QuotedStr(RootPath), QuotedStr(PublicPath),
                                           std::to_string(GroupList), std::to_string(UserList),
                                           std::to_string(AutoRun)};
  if (rows == 0) {
    FDb.Insert("Setting", fields, values);
  } else {
    FDb.Update("Setting", fields, values);  // every row: a file with two rows keeps them equal
  }
}

}  // namespace orvo::store
