// The one reading of a time text (a time of day as the operator typed it, e.g. "16:05", "4:05 PM",
// "下午4:05", or with the full-width digits and colon of a Chinese input method, "８：００"),
// shared by the timetable gate, the timetable window and orvo-admin so a stored text means the same
// everywhere. Pure functions, safe on any thread; ParseTimeText raises TimeTextError.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/Regional.h"

namespace orvo::store {

// Raised for a text that is not a valid time; the message is "'<text>' is not a valid time".
class TimeTextError : public std::runtime_error {
 public:
  explicit TimeTextError(std::string_view text);
};

inline constexpr int32_t kMillisecondsPerDay = 86400000;

// Milliseconds since midnight (0 to 86399999) of a time text.
int32_t ParseTimeText(std::string_view text,
                      const platform::RegionalSettings& regional = platform::HostRegional());

// As ParseTimeText, but reports a bad text by returning false (msOfDay is then left alone).
bool TryParseTimeText(std::string_view text, int32_t& msOfDay,
                      const platform::RegionalSettings& regional = platform::HostRegional());

// What is wrong with a lesson's start and end texts: a text that is not a valid time (the start is
// looked at first), or an end that is not after the start (a lesson across midnight is two).
enum class LessonTimesFault { kNone, kBadBegin, kBadEnd, kEndNotAfterBegin };
LessonTimesFault CheckLessonTimes(
    std::string_view begin, std::string_view end,
    const platform::RegionalSettings& regional = platform::HostRegional());

}  // namespace orvo::store
