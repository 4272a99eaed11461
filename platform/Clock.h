// The clocks the service reads: a 32-bit millisecond tick count and the local date and time.
// Every user takes a Clock& so that tests can step time (and cross the 2^32 wrap) without waiting.
// SystemClock() is safe to call from any thread; ManualClock is for tests and is thread-safe too.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>

namespace orvo::platform {

struct LocalDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int dayOfWeek = 6;  // 1 = Monday ... 7 = Sunday
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since the machine started, modulo 2^32.
  virtual uint32_t TickCount() const = 0;
  virtual LocalDateTime Now() const = 0;
};

Clock& SystemClock();

// Weekday (1 = Monday ... 7 = Sunday) of a Gregorian calendar date.
int DayOfWeek(int year, int month, int day);

// The broken-down local time of the C library as a LocalDateTime.
LocalDateTime ToLocalDateTime(const std::tm& local, int millisecond = 0);

class ManualClock final : public Clock {
 public:
  uint32_t TickCount() const override { return tick_.load(); }
  LocalDateTime Now() const override {
    std::lock_guard guard(lock_);
    return now_;
  }
  void SetTickCount(uint32_t tick) { tick_.store(tick); }
  void AdvanceTicks(uint32_t ms) { tick_.fetch_add(ms); }  // wraps modulo 2^32 like the real one
  void SetNow(const LocalDateTime& now) {
    std::lock_guard guard(lock_);
    now_ = now;
  }

 private:
  std::atomic<uint32_t> tick_{0};
  mutable std::mutex lock_;
  LocalDateTime now_{2026, 12, 7, 8, 0, 0, 0, 1};
};

}  // namespace orvo::platform
