#include <windows.h>

#include "platform/Clock.h"

namespace orvo::platform {
namespace {

class RealClock final : public Clock {
 public:
  // The 32-bit tick count wraps after 49.7 days, as the timetable gate expects.
  uint32_t TickCount() const override { return static_cast<uint32_t>(GetTickCount64()); }

  LocalDateTime Now() const override {
    SYSTEMTIME local{};
    GetLocalTime(&local);
    LocalDateTime now;
    now.year = local.wYear;
    now.month = local.wMonth;
    now.day = local.wDay;
    now.hour = local.wHour;
    now.minute = local.wMinute;
    now.second = local.wSecond;
    now.millisecond = local.wMilliseconds;
    now.dayOfWeek = local.wDayOfWeek == 0 ? 7 : local.wDayOfWeek;
    return now;
  }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace orvo::platform
