#include "classwork/LocalTime.h"

#include <cstdio>
#include <ctime>

#include "pack/HostFiles.h"
#include "platform/FindData.h"

namespace orvo::classwork {
namespace {

// Reads 1 to `maxDigits` digits at `at`, moving past them.
bool ReadNumber(std::string_view text, std::size_t& at, std::size_t maxDigits, int& value) {
  const std::size_t start = at;
  value = 0;
  while (at < text.size() && at - start < maxDigits && text[at] >= '0' && text[at] <= '9') {
    value = value * 10 + (text[at++] - '0');
  }
  return at > start;
}

bool Expect(std::string_view text, std::size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string Format(const char* pattern, const platform::LocalDateTime& t) {
  char text[40];
  std::snprintf(text, sizeof text, pattern, t.year, t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

}  // namespace

std::optional<platform::LocalDateTime> ParseLocalMinute(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  platform::LocalDateTime t;
  std::size_t at = 0;
  if (!ReadNumber(text, at, 4, t.year) || at != 4 || !Expect(text, at, '-') ||
      !ReadNumber(text, at, 2, t.month) || !Expect(text, at, '-') ||
      !ReadNumber(text, at, 2, t.day) || !Expect(text, at, ' ')) {
    return std::nullopt;
  }
  while (at < text.size() && text[at] == ' ') ++at;
  if (!ReadNumber(text, at, 2, t.hour) || !Expect(text, at, ':') ||
      !ReadNumber(text, at, 2, t.minute)) {
    return std::nullopt;
  }
  t.second = 0;
  if (at < text.size() && (!Expect(text, at, ':') || !ReadNumber(text, at, 2, t.second))) {
    return std::nullopt;
  }
  if (at != text.size() || t.year < 1601 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  t.millisecond = 0;
  t.dayOfWeek = platform::DayOfWeek(t.year, t.month, t.day);
  return t;
}

std::string MinuteText(const platform::LocalDateTime& local) {
  return Format("%04d-%02d-%02d %02d:%02d", local);
}

std::string FileTimeText(uint64_t fileTime) {
  return Format("%04d-%02d-%02d %02d:%02d:%02d", FileTimeToLocal(fileTime));
}

uint64_t LocalToFileTime(const platform::LocalDateTime& local) {
  std::tm parts{};
  parts.tm_year = local.year - 1900;
  parts.tm_mon = local.month - 1;
  parts.tm_mday = local.day;
  parts.tm_hour = local.hour;
  parts.tm_min = local.minute;
  parts.tm_sec = local.second;
  parts.tm_isdst = -1;  // the zone's own rule for that day
  const std::time_t seconds = std::mktime(&parts);
  return platform::ToFileTime(static_cast<int64_t>(seconds),
                              static_cast<uint32_t>(local.millisecond) * 1000000u);
}

platform::LocalDateTime FileTimeToLocal(uint64_t fileTime) {
  std::tm parts{};
  if (!pack::host::ToLocalTime(static_cast<std::time_t>(platform::FileTimeToUnixSeconds(fileTime)),
                               parts)) {
    return {};
  }
  return platform::ToLocalDateTime(parts);
}

}  // namespace orvo::classwork
