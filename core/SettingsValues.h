// The settings values RootPath, PublicPath, GroupList, UserList and AutoRun as the service holds
// them (core/ServiceState.h).
// The window (or service) thread replaces them whole while connection threads read them: a text
// is swapped as a new immutable string, never edited in place, and the flags are atomics, so a
// reader always sees an old or a new value, never half of one.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace orvo::core {

class SharedText {
 public:
  std::string Get() const {
    std::lock_guard guard(lock_);
    return *value_;
  }
  void Set(std::string value) {
    auto replacement = std::make_shared<const std::string>(std::move(value));
    std::lock_guard guard(lock_);
    value_.swap(replacement);
  }

 private:
  mutable std::mutex lock_;
  std::shared_ptr<const std::string> value_ = std::make_shared<const std::string>();
};

struct SettingsValues {
  SharedText RootPath;
  SharedText PublicPath;
  std::atomic<int32_t> GroupList{0};  // 1 lets the server answer ULIST
  std::atomic<int32_t> UserList{1};   // 1 lets the server answer GLIST
  std::atomic<int32_t> AutoRun{0};    // mirrors start at logon
};

}  // namespace orvo::core
