// Lessons whose times overlap. The gate lets in the class of the first lesson it finds on at a
// moment, so where two lessons overlap only the earlier-added one counts; the timetable window and
// orvo-admin warn before adding such a lesson. Pure functions, any thread.
#pragma once

#include <string_view>
#include <vector>

#include "store/OrvoDiskDbUnit.h"

namespace orvo::store {

// The rows of `rows` on weekday `week` that are on at some moment between `begin` and `end` (time
// texts, as the gate reads them) and do not let in every class `groups` names; rows whose times
// do not parse are left out, and so is everything when `begin` or `end` does not parse.
std::vector<TimeTableRow> OverlappingLessons(const std::vector<TimeTableRow>& rows, int week,
                                             std::string_view begin, std::string_view end,
                                             std::string_view groups);

}  // namespace orvo::store
