// The order in which timetable rows are shown: by weekday (Monday first; weekdays the timetable
// window cannot show, 6 and 7 among them, before Monday) and within a weekday by start time, start
// times closer than 0.00005 of a day comparing equal. Rows whose start time does not parse come
// after all others. Pure functions, any thread.
#pragma once

#include <vector>

#include "store/OrvoDiskDbUnit.h"

namespace orvo::store {

// The weekdays the timetable window offers: Week 1 to 5.
inline constexpr int kListedWeekdays = 5;

// Negative when `a` comes first, 0 when equal, positive when `b` comes first.
int CompareForDisplay(const TimeTableRow& a, const TimeTableRow& b);

// The rows sorted with CompareForDisplay; equal rows keep their order (ascending Id).
std::vector<TimeTableRow> SortedForDisplay(std::vector<TimeTableRow> rows);

}  // namespace orvo::store
