#include "platform/Clock.h"

namespace orvo::platform {

int DayOfWeek(int year, int month, int day) {
  // Sakamoto's method gives 0 = Sunday.
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  const int sunday0 = (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
  return sunday0 == 0 ? 7 : sunday0;
}

LocalDateTime ToLocalDateTime(const std::tm& local, int millisecond) {
  LocalDateTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  t.millisecond = millisecond;
  t.dayOfWeek = local.tm_wday == 0 ? 7 : local.tm_wday;
  return t;
}

}  // namespace orvo::platform
