// A fixed time zone for the C library while a test runs, so that local times are known. One
// thread: the zone is the process's.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace orvo::pack::testing {

// Sets the time zone of the C library for the life of the object, so that local times are known.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* saved = std::getenv("TZ");
    hadZone_ = saved != nullptr;
    if (hadZone_) saved_ = saved;
    Set(zone);
  }
  ~ScopedTimeZone() { Set(hadZone_ ? saved_.c_str() : nullptr); }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  static void Set(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
#else
    if (zone) {
      ::setenv("TZ", zone, 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
#endif
  }

  bool hadZone_ = false;
  std::string saved_;
};

}  // namespace orvo::pack::testing
