#include <sys/time.h>
#include <time.h>

#include "platform/Clock.h"

namespace orvo::platform {
namespace {

class RealClock final : public Clock {
 public:
  uint32_t TickCount() const override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);  // modulo 2^32, as the 32-bit tick count wraps
  }

  LocalDateTime Now() const override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    LocalDateTime now;
    now.year = local.tm_year + 1900;
    now.month = local.tm_mon + 1;
    now.day = local.tm_mday;
    now.hour = local.tm_hour;
    now.minute = local.tm_min;
    now.second = local.tm_sec;
    now.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
    now.dayOfWeek = local.tm_wday == 0 ? 7 : local.tm_wday;
    return now;
  }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace orvo::platform
