// Small per-host steps the file tests share: giving a file the attributes Windows refuses to
// overwrite, setting its times, holding it open as another program would, and the name of the
// platform test program.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "platform/FindData.h"
#include "platform/windows/WideText.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orvo::platform::host {

#ifdef _WIN32
inline constexpr const char* kThisProgram = "platform_file_system_tests.exe";

inline void AddAttributes(const std::string& path, DWORD attributes) {
  const std::wstring wide = Wide(path);
  SetFileAttributesW(wide.c_str(),
                     (GetFileAttributesW(wide.c_str()) & ~FILE_ATTRIBUTE_NORMAL) | attributes);
}
inline void MakeReadOnly(const std::string& path) {
  AddAttributes(path, FILE_ATTRIBUTE_READONLY);
}
// On Linux a name starting with '.' is what makes a file hidden.
inline void MakeHidden(const std::string& path) {
  AddAttributes(path, FILE_ATTRIBUTE_HIDDEN);
}

// Last access and last write time, in seconds and nanoseconds since 1970.
inline bool SetTimes(const std::string& path, int64_t accessSeconds, uint32_t accessNanoseconds,
                     int64_t writeSeconds, uint32_t writeNanoseconds) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const uint64_t access = ToFileTime(accessSeconds, accessNanoseconds);
  const uint64_t write = ToFileTime(writeSeconds, writeNanoseconds);
  const FILETIME times[2] = {{static_cast<DWORD>(access), static_cast<DWORD>(access >> 32)},
                             {static_cast<DWORD>(write), static_cast<DWORD>(write >> 32)}};
  const bool set = SetFileTime(file, nullptr, &times[0], &times[1]) != 0;
  CloseHandle(file);
  return set;
}

// Another program's handle on a file, opened without sharing.
class HeldElsewhere {
 public:
  explicit HeldElsewhere(const std::string& path)
      : handle_(CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldElsewhere() { Release(); }
  HeldElsewhere(const HeldElsewhere&) = delete;
  HeldElsewhere& operator=(const HeldElsewhere&) = delete;
  bool IsHeld() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (IsHeld()) CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
  }

 private:
  HANDLE handle_;
};
#else
inline constexpr const char* kThisProgram = "platform_file_system_tests";

inline void MakeReadOnly(const std::string& path) {
  ::chmod(path.c_str(), 0444);
}
inline void MakeHidden(const std::string&) {}

inline bool SetTimes(const std::string& path, int64_t accessSeconds, uint32_t accessNanoseconds,
                     int64_t writeSeconds, uint32_t writeNanoseconds) {
  const timespec times[2] = {{accessSeconds, accessNanoseconds}, {writeSeconds, writeNanoseconds}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

// Another program's lock on a file, as programs that lock take it.
class HeldElsewhere {
 public:
  explicit HeldElsewhere(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) Release();
  }
  ~HeldElsewhere() { Release(); }
  HeldElsewhere(const HeldElsewhere&) = delete;
  HeldElsewhere& operator=(const HeldElsewhere&) = delete;
  bool IsHeld() const { return fd_ >= 0; }
  void Release() {
    if (IsHeld()) ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_;
};
#endif

}  // namespace orvo::platform::host
