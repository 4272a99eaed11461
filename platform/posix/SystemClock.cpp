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
    return ToLocalDateTime(local, static_cast<int>(ts.tv_nsec / 1000000));
  }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace orvo::platform
