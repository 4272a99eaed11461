// The one reading of a time text (a time of day as the operator typed it, e.g. "16:05", "4:05 PM",
// "下午4:05"), shared by the timetable gate and the timetable window so a stored text means the
// same everywhere. Pure functions, safe on any thread; ParseTimeText raises TimeTextError.
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

}  // namespace orvo::store
