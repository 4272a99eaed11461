// What the main window's class and student lists do apart from their widgets: the classes and the
// shown class's students as texts in their order, and the operator's changes, stored through the
// started service's database. The window shows these lists and forwards its handlers here.
// Failures of the store (and, without a database, the start-up failure) are raised. Window thread
// only.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "console/ConsoleRules.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::service {
class OrvoService;
}

namespace orvo::console {

class ClassListControl {
 public:
  explicit ClassListControl(service::OrvoService& service) : service_(service) {}

  // Why the service did not start, raised in place of the missing database; empty once it has.
  void SetStartError(std::string why) { startError_ = std::move(why); }
  // The started service's database; raises the start-up failure when there is none.
  store::TOrvoDiskDb& Db();

  // --- classes ---
  const QStringList& Classes() const { return classes_; }
  // The classes as the database holds them, in the list's order.
  void LoadClasses();
  // Stores the class `name` (the store trims it and may refuse it or find it present), then lists
  // it in its sorted place and has `shown` put the stored name at that position. Returns what the
  // store did; a name it did not add is not listed.
  store::AddResult AddClass(const QString& name,
                            const std::function<void(int position, const QString& stored)>& shown);
  // Deletes the class at `position` (its students stay) and ends its logins, then unlists it.
  void DeleteClass(int position);
  // What "当前班级" finds: the listed class the lesson now admits (-1 for none) and what to tell
  // the operator about it.
  struct CurrentLesson {
    int position = -1;
    QString text;
  };
  // The class of the lesson now: none while the gate is paused (every class may log in then), when
  // no lesson runs or when the lesson's class text names no listed class, each said so.
  CurrentLesson CurrentClass();

  // --- students of the shown class ---
  const std::vector<StudentTexts>& Students() const { return students_; }
  // The students of `group`, sorted by name ascending. The list is emptied first, so a failure
  // leaves it empty.
  void LoadStudents(const QString& group);
  // The students of `group` again (passwords change while they are shown), in the order shown.
  // Returns where the student of the row at `selected` went (-1 for none, or when it is gone).
  int ReloadStudents(const QString& group, int selected);
  // A header click on `column`: the direction flips and the rows are sorted again. Returns where
  // the row at `selected` went (-1 for none).
  int SortBy(int column, int selected);
  int Compare(const StudentTexts& a, const StudentTexts& b) const;
  int SortCol() const { return sortCol_; }
  int SortWay() const { return sortWay_; }
  // Adds the students `names` (one a line) to `group` as the store's list add does: blank lines
  // are skipped, every name is trimmed, names the class has or the rule refuses are reported.
  store::AddResult AddStudents(const QStringList& names, const QString& group);
  // Deletes every student of the listed row's class with its name, and ends their logins.
  void DeleteStudent(int row);
  // The first listed student whose name contains `text`; -1 when none does.
  int FindStudent(const QString& text) const;

 private:
  // Sorts the rows; returns where the row at `selected` went.
  int Sort(int selected);
  // Ends at once the logins of a deleted class (of its student with `loginId`, when one is given),
  // so that nobody works on in a folder the operator took away.
  void EndLoginsOf(const std::string& group, const std::string& loginId = {});

  service::OrvoService& service_;
  std::string startError_;
  QStringList classes_;
  std::vector<StudentTexts> students_;
  int sortCol_ = 0;
  int sortWay_ = 0;
};

}  // namespace orvo::console
