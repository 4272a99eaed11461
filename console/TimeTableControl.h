// What the timetable window does apart from its widgets: the timetable rows as texts in display
// order, and the operator's changes, after each of which every login is judged by the changed
// timetable at its next command. Failures of the store (and, without a database,
// std::runtime_error) are raised. Window thread only.
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
  // The five weekday texts; item i stands for Week i + 1.
  static const QStringList kWeekdays;

  explicit TimeTableControl(service::OrvoService& service) : service_(service) {}

  // Whether the service's database opened; without it nothing can be read or changed.
  bool DatabaseOpen() const;
  const std::vector<TimeTableTexts>& Rows() const { return rows_; }
  // The rows of the TimeTable table in display order. The list is emptied first, so a failure
  // leaves it empty.
  void Load();
  // Negative when row `a` comes first, 0 when the two are equal, positive when `b` does.
  static int Compare(const TimeTableTexts& a, const TimeTableTexts& b);
  // Adds a row for `week` (1 for Monday) unless the entry is refused; the refusal's text then.
  std::optional<QString> Add(int week, const QString& begin, const QString& end,
                             const QString& group);
  void Delete(const QString& id);
  void DeleteAll();
  // Has the gate take weekday `week` (1 for Monday) for today.
  void SetWeekOverride(int week);
  // Creates the TimeTable table where an older database lacks it.
  void CreateTable();

 private:
  store::TOrvoDiskDb& Db();

  service::OrvoService& service_;
  std::vector<TimeTableTexts> rows_;
};

}  // namespace orvo::console
