// Classes, students and saved settings. The timetable gate of the same class lives in
// TimetableGate.cpp.
#include "store/OrvoDiskDbUnit.h"

#include <algorithm>

#include "core/SettingsValues.h"
#include "platform/FileSystem.h"

namespace orvo::store {
namespace {

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

// The student folder RootPath\class\name, made with every missing level. Nothing is reported when
// it cannot be made. Without a root folder the path would start at the file-system root, and a
// name with a ".." level would reach outside the root folder: then no folder is made at all.
void MakeStudentFolder(const std::string& aGroup, const std::string& aName) {
  const std::string root = core::Settings().RootPath.Get();
  if (root.empty() || ClimbsOut(aGroup) || ClimbsOut(aName)) return;
  std::string folder = root + "\\" + aGroup + "\\" + aName;
  std::replace(folder.begin(), folder.end(), '\\', '/');
  platform::CreateFolderPath(folder);
}

}  // namespace

TOrvoDiskDb::TOrvoDiskDb(const std::string& DbFileName, const platform::Clock& clock)
    : TSimpleDb(DbFileName), FClock(clock) {}

TOrvoDiskDb::~TOrvoDiskDb() = default;

void TOrvoDiskDb::CreateTable() {}

void TOrvoDiskDb::GroupListAdmin(std::vector<std::string>& aList) {
  const Guard guard(FLock);
  aList.clear();
  Select("Groups");
  for (TQuery& query = Query(); !query.Eof(); query.Next()) {
    aList.push_back(query.FieldByName("GroupName").AsString());
  }
}

void TOrvoDiskDb::UserList(const std::string& aGroup, std::vector<std::string>& aList) {
  const Guard guard(FLock);
  Select("Users", "GroupName=" + QuotedStr(aGroup));
  for (TQuery& query = Query(); !query.Eof(); query.Next()) {
    aList.push_back(query.FieldByName("UserName").AsString());
  }
}

std::vector<StudentRow> TOrvoDiskDb::Students(const std::string& aGroup) {
  const Guard guard(FLock);
  std::vector<StudentRow> rows;
  Select("Users", "GroupName=" + QuotedStr(aGroup));
  for (TQuery& query = Query(); !query.Eof(); query.Next()) {
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

void TOrvoDiskDb::AddGroup(const std::string& aName) {
  const Guard guard(FLock);
  const std::string name = QuotedStr(aName);
  if (Select("Groups", "GroupName=" + name) == 0) Insert("Groups", {"GroupName"}, {name});
}

void TOrvoDiskDb::DeleteGroup(const std::string& aName) {
  const Guard guard(FLock);
  Delete("Groups", "GroupName=" + QuotedStr(aName));
}

void TOrvoDiskDb::AddUser(const std::string& aName, const std::string& aGroup) {
  const Guard guard(FLock);
  if (Select("Users", StudentCondition(aGroup, aName)) != 0) return;
  Insert("Users", {"UserId", "UserName", "PassWord", "GroupName"},
         {QuotedStr(aName), QuotedStr(aName), QuotedStr(kDefaultPassword), QuotedStr(aGroup)});
  MakeStudentFolder(aGroup, aName);
}

void TOrvoDiskDb::AddUser(std::vector<std::string>& NameList, const std::string& aGroup) {
  const Guard guard(FLock);
  // Every name is tested before the first insert, so a name typed twice passes twice.
  for (std::size_t i = NameList.size(); i-- > 0;) {
    if (NameList[i].empty() || Select("Users", StudentCondition(aGroup, NameList[i])) > 0) {
      NameList.erase(NameList.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  StartTransaction();
  try {
    for (const std::string& name : NameList) {
      Insert("Users", {"UserId", "UserName", "PassWord", "GroupName"},
             {QuotedStr(name), QuotedStr(name), QuotedStr(kDefaultPassword), QuotedStr(aGroup)});
      MakeStudentFolder(aGroup, name);
    }
  } catch (...) {
    // The students inserted before the failure are kept: commit them, then report the failure.
    try {
      Commit();
    } catch (const DbError&) {
      // The insert's failure is the one the caller hears of.
    }
    throw;
  }
  Commit();
}

void TOrvoDiskDb::DeleteUser(const std::string& aName, const std::string& aGroup) {
  const Guard guard(FLock);
  Delete("Users", StudentCondition(aGroup, aName));
}

bool TOrvoDiskDb::ChangePSW(const std::string& aGroup, const std::string& aUserId,
                            const std::string& aNewPSW) {
  const Guard guard(FLock);
  Update("Users", {"Password"}, {QuotedStr(aNewPSW)},
         "GroupName=" + QuotedStr(aGroup) + " and UserId=" + QuotedStr(aUserId));
  return true;
}

bool TOrvoDiskDb::StudentEnrolled(int32_t aId, const std::string& aGroup,
                                  const std::string& aUserId) {
  const Guard guard(FLock);
  return Select("Users", "Id=" + std::to_string(aId) + " and GroupName=" + QuotedStr(aGroup) +
                             " and UserId=" + QuotedStr(aUserId)) > 0 &&
         Select("Groups", "GroupName=" + QuotedStr(aGroup)) > 0;
}

void TOrvoDiskDb::EnsureOptionsTable() {
  const Guard guard(FLock);
  Query().SetSQL("create table if not exists [Options] ([Name] TEXT PRIMARY KEY, [Value] TEXT)");
  Query().ExecSQL();
}

std::map<std::string, std::string> TOrvoDiskDb::OptionRows() {
  const Guard guard(FLock);
  std::map<std::string, std::string> rows;
  Select("Options");
  for (TQuery& query = Query(); !query.Eof(); query.Next()) {
    rows[query.FieldByName("Name").AsString()] = query.FieldByName("Value").AsString();
  }
  return rows;
}

void TOrvoDiskDb::SetOption(const std::string& aName, const std::string& aValue) {
  const Guard guard(FLock);
  Query().SetSQL("insert or replace into [Options] ([Name], [Value]) values (" + QuotedStr(aName) +
                 ", " + QuotedStr(aValue) + ")");
  Query().ExecSQL();
}

void TOrvoDiskDb::ResetOption(const std::string& aName) {
  const Guard guard(FLock);
  Delete("Options", "Name=" + QuotedStr(aName));
}

void TOrvoDiskDb::GetSetting(std::string& RootPath, std::string& PublicPath, int32_t& GroupList,
                             int32_t& UserList, int32_t& AutoRun) {
  const Guard guard(FLock);
  if (Select("Setting") <= 0) return;
  const TQuery& query = Query();
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
  const int32_t rows = Select("Setting");
  const std::vector<std::string> fields = {"RootPath", "PublicPath", "GroupList", "UserList",
                                           "AutoRun"};
  const std::vector<std::string> values = {QuotedStr(RootPath), QuotedStr(PublicPath),
                                           std::to_string(GroupList), std::to_string(UserList),
                                           std::to_string(AutoRun)};
  if (rows == 0) {
    Insert("Setting", fields, values);
  } else {
    Update("Setting", fields, values);  // every row: a file with two rows keeps them equal
  }
}

}  // namespace orvo::store
