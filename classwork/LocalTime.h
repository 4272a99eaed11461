// The moments of class work as a teacher reads and types them: local time to the minute
// ("2026-12-11 08:00"), and the file times of the host (100 ns since 1601 UTC, as listings carry
// them) converted to and from it with the host's time zone. Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Clock.h"

namespace orvo::classwork {

// "YYYY-MM-DD HH:MM" (one or two digits for month, day and hour; seconds ":SS" allowed) as a
// local time; nullopt for anything else or a date that does not exist.
std::optional<platform::LocalDateTime> ParseLocalMinute(std::string_view text);
// "YYYY-MM-DD HH:MM".
std::string MinuteText(const platform::LocalDateTime& local);
// "YYYY-MM-DD HH:MM:SS" of a file time in local time.
std::string FileTimeText(uint64_t fileTime);

// The file time of a local time (the first one when a clock change makes it ambiguous).
uint64_t LocalToFileTime(const platform::LocalDateTime& local);
platform::LocalDateTime FileTimeToLocal(uint64_t fileTime);

}  // namespace orvo::classwork
