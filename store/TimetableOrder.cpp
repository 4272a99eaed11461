#include "store/TimetableOrder.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <optional>

#include "store/TimeText.h"

namespace orvo::store {
namespace {

// Weekday index among the listed weekdays (-1 for any other) plus the start as a fraction of a day.
std::optional<double> Key(const TimeTableRow& row) {
  int32_t start = 0;
  if (!TryParseTimeText(row.beginTime, start)) return std::nullopt;
  const int index = row.week >= 1 && row.week <= kListedWeekdays ? row.week - 1 : -1;
  return index + static_cast<double>(start) / kMillisecondsPerDay;
}

}  // namespace

int CompareForDisplay(const TimeTableRow& a, const TimeTableRow& b) {
  const std::optional<double> keyA = Key(a);
  const std::optional<double> keyB = Key(b);
  if (!keyA || !keyB) return static_cast<int>(!keyA) - static_cast<int>(!keyB);
  // Rounded to the nearest integer, halves to the even neighbour (the default rounding mode).
  return static_cast<int>(std::nearbyint(*keyA * 10000 - *keyB * 10000));
}

std::vector<TimeTableRow> SortedForDisplay(std::vector<TimeTableRow> rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const TimeTableRow& a, const TimeTableRow& b) {
    return CompareForDisplay(a, b) < 0;
  });
  return rows;
}

}  // namespace orvo::store
