// The order in which timetable rows are shown: by weekday (Monday first, Sunday last; a Week
// outside 1 to 7, which names no weekday, before Monday) and within a weekday by start time, start
// times closer than 0.00005 of a day comparing equal. Rows whose start time does not parse come
// after all others. Pure functions, any thread.
#pragma once

#include <vector>

#include "store/OrvoDiskDbUnit.h"

namespace orvo::store {

// The weekdays a lesson may have: Week 1 (Monday) to 7 (Sunday).
inline constexpr int kListedWeekdays = 7;

// Negative when `a` comes first, 0 when equal, positive when `b` comes first.
int CompareForDisplay(const TimeTableRow& a, const TimeTableRow& b);

// The rows sorted with CompareForDisplay; equal rows keep their order (ascending Id).
std::vector<TimeTableRow> SortedForDisplay(std::vector<TimeTableRow> rows);

}  // namespace orvo::store
