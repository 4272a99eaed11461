#include "console/ClassListControl.h"

#include <algorithm>
#include <cstddef>

#include "console/WindowSupport.h"
#include "net/OrvoServer.h"
#include "service/OrvoService.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::console {

store::TOrvoDiskDb& ClassListControl::Db() {
  return StartedDb(service_, startError_);
}

void ClassListControl::LoadClasses() {
  classes_ = ListedClasses(Db());
}

store::AddResult ClassListControl::AddClass(
    const QString& name, const std::function<void(int position, const QString& stored)>& shown) {
  store::AddResult result = Db().AddGroup(Utf8(name));
  for (const std::string& added : result.added) {
    const QString stored = Text(added);
    const int position = SortedClassPosition(classes_, stored);
    classes_.insert(position, stored);
    shown(position, stored);
  }
  return result;
}

void ClassListControl::DeleteClass(int position) {
  const std::string group = Utf8(classes_.at(position));
  Db().DeleteGroup(group);
  EndLoginsOf(group);
  classes_.removeAt(position);
}

ClassListControl::CurrentLesson ClassListControl::CurrentClass() {
  store::TOrvoDiskDb& db = Db();
  if (db.StopTimeTable()) {
    return {-1, QStringLiteral("课程表已暂停：所有班级的学生都可以登录")};
  }
  const std::string lesson = db.CurrentGroupName();
  if (lesson.empty()) return {-1, QStringLiteral("当前班级：无")};
  if (lesson == store::kEveryClass) {
    return {-1, QStringLiteral("当前课程的班级是“*”：所有班级的学生都可以登录")};
  }
  // The gate's own test, so that the class picked is one whose students can log in now.
  for (int position = 0; position < classes_.size(); ++position) {
    if (store::LessonAdmits(lesson, Utf8(classes_.at(position)))) {
      return {position, QStringLiteral("当前班级：") + Text(lesson)};
    }
  }
  return {-1,
          QStringLiteral("当前课程的班级“%1”不是已有的班级，没有学生可以登录。请在课程表中改正。")
              .arg(Text(lesson))};
}

void ClassListControl::LoadStudents(const QString& group) {
  students_.clear();
  std::vector<StudentTexts> rows;
  for (const store::StudentRow& student : Db().Students(Utf8(group))) {
    rows.push_back({QString::number(student.id), Text(student.groupName), Text(student.userName),
                    Text(student.userId), Text(student.password)});
  }
  students_ = std::move(rows);
  sortCol_ = 2;
  sortWay_ = 1;
  Sort(-1);
}

int ClassListControl::ReloadStudents(const QString& group, int selected) {
  const QString id = selected < 0 ? QString() : students_.at(static_cast<std::size_t>(selected))[0];
  const int sortCol = sortCol_;
  const int sortWay = sortWay_;
  LoadStudents(group);
  sortCol_ = sortCol;
  sortWay_ = sortWay;
  Sort(-1);
  if (id.isEmpty()) return -1;
  const auto at = std::find_if(students_.begin(), students_.end(),
                               [&id](const StudentTexts& student) { return student[0] == id; });
  return at == students_.end() ? -1 : static_cast<int>(at - students_.begin());
}

int ClassListControl::SortBy(int column, int selected) {
  sortCol_ = column;
  sortWay_ = NextSortWay(sortWay_);
  return Sort(selected);
}

int ClassListControl::Compare(const StudentTexts& a, const StudentTexts& b) const {
  return CompareStudents(a, b, sortCol_, sortWay_);
}

int ClassListControl::Sort(int selected) {
  const StudentTexts picked =
      selected < 0 ? StudentTexts{} : students_.at(static_cast<std::size_t>(selected));
  std::stable_sort(
      students_.begin(), students_.end(),
      [this](const StudentTexts& a, const StudentTexts& b) { return Compare(a, b) < 0; });
  if (selected < 0) return -1;
  const auto at = std::find(students_.begin(), students_.end(), picked);
  return at == students_.end() ? -1 : static_cast<int>(at - students_.begin());
}

store::AddResult ClassListControl::AddStudents(const QStringList& names, const QString& group) {
  std::vector<std::string> lines;
  for (const QString& line : names) lines.push_back(Utf8(line));
  return Db().AddUser(lines, Utf8(group));
}

void ClassListControl::DeleteStudent(int row) {
  const StudentTexts& student = students_.at(static_cast<std::size_t>(row));
  const std::string group = Utf8(student[1]);
  const std::string name = Utf8(student[2]);
  // Every student of that name in the class goes, and with each the logins of its login id.
  std::vector<std::string> loginIds;
  for (const store::StudentRow& stored : Db().Students(group)) {
    if (stored.userName == name) loginIds.push_back(stored.userId);
  }
  Db().DeleteUser(name, group);
  // An empty login id would stand for the whole class.
  for (const std::string& loginId : loginIds) {
    if (!loginId.empty()) EndLoginsOf(group, loginId);
  }
}

int ClassListControl::FindStudent(const QString& text) const {
  std::vector<QString> names;
  names.reserve(students_.size());
  for (const StudentTexts& student : students_) names.push_back(student[2]);
  return FindName(names, text);
}

void ClassListControl::EndLoginsOf(const std::string& group, const std::string& loginId) {
  if (net::TOrvoServer* server = service_.Server()) server->EndLoginsOf(group, loginId);
}

}  // namespace orvo::console
