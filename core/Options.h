// The options beyond the five saved settings: their names, defaults and help texts in one table,
// and the values the service reads while it runs. A missing row in the database's Options table
// means the default. Values are replaced whole by the owning thread (integers are atomics, texts
// are swapped), so connection threads always read an old or a new value, never half of one.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/SettingsValues.h"

namespace orvo::core {

struct OptionInfo {
  const char* name;
  const char* defaultValue;
  const char* help;
};

// Every option the service knows, in the order `orvo-admin settings show` lists them.
const std::vector<OptionInfo>& OptionCatalog();
const OptionInfo* FindOption(std::string_view name);
// Why `value` is not acceptable for the option, or nullopt when it is.
std::optional<std::string> OptionValueError(const OptionInfo& option, std::string_view value);

// What "auto" in FreeSpaceReserveMB stands for: the smaller of these two.
inline constexpr uint64_t kAutoReserveCapBytes = uint64_t{1} << 30;
inline constexpr unsigned kAutoReservePercent = 5;

struct OptionValues {
  std::atomic<uint32_t> LoginGraceMinutes{15};
  std::atomic<uint32_t> LoginFailLimit{5};
  std::atomic<uint32_t> LoginFailWindowMinutes{5};
  std::atomic<uint32_t> LoginBlockMinutes{5};
  // Bytes that an upload must leave free on the volume; -1 means the automatic rule.
  std::atomic<int64_t> FreeSpaceReserveBytes{-1};
  // Bytes a student's folder may hold; 0 means no quota.
  std::atomic<uint64_t> StudentQuotaBytes{0};
  // Addresses besides the service's own host that GETSYSLOG answers.
  SharedText SysLogHosts;
  // The connection limits (net/ConnectionLimits.h); 0 in MaxConnections means "auto", in the
  // others no cap or no time limit.
  std::atomic<uint32_t> ConnectionsPerAddress{64};
  std::atomic<uint32_t> MaxConnections{0};
  std::atomic<uint32_t> CommandLineSeconds{30};
  std::atomic<uint32_t> TransferStallSeconds{60};
  std::atomic<uint32_t> WorkerThreads{128};
  // The browser portal: its port (0: none) and, for HTTPS, the PEM certificate and key files.
  std::atomic<uint32_t> HttpPort{18780};
  SharedText HttpsCert;
  SharedText HttpsKey;

  // Every option from `rows` (name to stored text); an option without a row, or whose text is not
  // valid, takes its default.
  void Load(const std::map<std::string, std::string>& rows);
};

// The items of a list option ("a, b c;d"): split at commas, semicolons and blanks, empties dropped.
std::vector<std::string> OptionItems(std::string_view text);

}  // namespace orvo::core
