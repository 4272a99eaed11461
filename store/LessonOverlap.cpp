#include "store/LessonOverlap.h"

#include <algorithm>
#include <cstdint>

#include "store/TimeText.h"

namespace orvo::store {
namespace {

// Whether the lesson text `earlier` lets in every class `groups` names: then it does not matter
// which of the two the gate goes by.
bool AdmitsAll(std::string_view earlier, std::string_view groups) {
  const std::vector<std::string_view> items = LessonItems(groups);
  return std::all_of(items.begin(), items.end(),
                     [earlier](std::string_view item) { return LessonAdmits(earlier, item); });
}

}  // namespace

std::vector<TimeTableRow> OverlappingLessons(const std::vector<TimeTableRow>& rows, int week,
                                             std::string_view begin, std::string_view end,
                                             std::string_view groups) {
  std::vector<TimeTableRow> overlapping;
  int32_t from = 0;
  int32_t to = 0;
  if (!TryParseTimeText(begin, from) || !TryParseTimeText(end, to)) return overlapping;
  for (const TimeTableRow& row : rows) {
    if (row.week != week || AdmitsAll(row.groupName, groups)) continue;
    int32_t rowFrom = 0;
    int32_t rowTo = 0;
    if (!TryParseTimeText(row.beginTime, rowFrom) || !TryParseTimeText(row.endTime, rowTo)) {
      continue;
    }
    // The gate counts a lesson as on strictly between its start and its end, so lessons that
    // only touch (one ends at 08:45, the next starts at 08:45) do not overlap.
    if (std::max(from, rowFrom) < std::min(to, rowTo)) overlapping.push_back(row);
  }
  return overlapping;
}

}  // namespace orvo::store
