// What the timetable window does apart from its widgets: the timetable rows as texts in display
// order, the checks of a new lesson, and the operator's changes, after each of which the gate and
// every login are judged by the changed timetable at their next check. Failures of the store (and,
// without a database, std::runtime_error) are raised. Window thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace orvo::service {
class OrvoService;
}
namespace orvo::store {
class TOrvoDiskDb;
}

namespace orvo::console {

// The texts of a timetable list row: Id, weekday, start time, end time, class.
inline constexpr int kTimeTableColumns = 5;
using TimeTableTexts = std::array<QString, kTimeTableColumns>;

class TimeTableControl {
 public:
  // The seven weekday texts, Monday first; item i stands for Week i + 1.
  static const QStringList kWeekdays;
  // The adjustment box's first item: no adjustment, every day follows its own lessons.
  static const QString kNoAdjustment;

  explicit TimeTableControl(service::OrvoService& service) : service_(service) {}

  // Whether the service's database opened; without it nothing can be read or changed.
  bool DatabaseOpen() const;
  const std::vector<TimeTableTexts>& Rows() const { return rows_; }
  // The rows of the TimeTable table in display order. The list is emptied first, so a failure
  // leaves it empty.
  void Load();
  // The classes there are, in the class list's order.
  QStringList Classes();
  // Negative when row `a` comes first, 0 when the two are equal, positive when `b` does.
  static int Compare(const TimeTableTexts& a, const TimeTableTexts& b);
  // Why a lesson for `week` (1 for Monday) with these texts is refused, naming the field and what
  // was typed in it; nothing when it may be added.
  static std::optional<QString> Refusal(int week, const QString& begin, const QString& end,
                                        const QString& group);
  // The warning for a class text naming a class that does not exist (with the class probably
  // meant, where one differs only in full-width or half-width forms); nothing when all exist.
  std::optional<QString> UnknownClassWarning(const QString& group);
  // The warning for a lesson on at the same time as lessons of other classes on that weekday:
  // the gate goes by the earlier-added one, so the new lesson would not count while they overlap.
  // Nothing when none overlaps.
  std::optional<QString> OverlapWarning(int week, const QString& begin, const QString& end,
                                        const QString& group);
  // Adds a row for `week` (1 for Monday) unless Refusal refuses it; the refusal's text then.
  std::optional<QString> Add(int week, const QString& begin, const QString& end,
                             const QString& group);
  void Delete(const QString& id);
  void DeleteAll();
  // Has the gate take weekday `week` (1 for Monday) instead of today's; -1 ends the adjustment.
  void SetWeekOverride(int week);
  // The adjustment in force: the weekday taken instead of today's (1 for Monday), -1 for none.
  int WeekOverride();
  // Creates the TimeTable table where an older database lacks it.
  void CreateTable();

 private:
  store::TOrvoDiskDb& Db();

  service::OrvoService& service_;
  std::vector<TimeTableTexts> rows_;
};

}  // namespace orvo::console
