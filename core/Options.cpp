#include "core/Options.h"

#include <charconv>

namespace orvo::core {
namespace {

constexpr char kGrace[] = "LoginGraceMinutes";
constexpr char kFailLimit[] = "LoginFailLimit";
constexpr char kFailWindow[] = "LoginFailWindowMinutes";
constexpr char kBlock[] = "LoginBlockMinutes";
constexpr char kReserve[] = "FreeSpaceReserveMB";
constexpr char kQuota[] = "StudentQuotaMB";
constexpr char kSysLogHosts[] = "SysLogHosts";
constexpr char kPerAddress[] = "ConnectionsPerAddress";
constexpr char kMaxConnections[] = "MaxConnections";
constexpr char kLineSeconds[] = "CommandLineSeconds";
constexpr char kStallSeconds[] = "TransferStallSeconds";
constexpr char kWorkers[] = "WorkerThreads";
constexpr char kHttpPort[] = "HttpPort";
constexpr char kHttpsCert[] = "HttpsCert";
constexpr char kHttpsKey[] = "HttpsKey";

constexpr char kAuto[] = "auto";
// Beyond this an option's number is surely a typing error (and MiB stay far from overflow).
constexpr uint64_t kLargestNumber = uint64_t{1} << 32;

std::optional<uint64_t> ParseNumber(std::string_view text) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      value > kLargestNumber) {
    return std::nullopt;
  }
  return value;
}

bool TakesAuto(std::string_view name) {
  return name == kReserve || name == kMaxConnections;
}

}  // namespace

const std::vector<OptionInfo>& OptionCatalog() {
  static const std::vector<OptionInfo> catalog = {
      {kGrace, "15", "minutes a login stays live after its class's lesson has ended"},
      {kFailLimit, "5", "refused LOGINs from one address that start a block (0: never block)"},
      {kFailWindow, "5", "minutes within which the refused LOGINs are counted"},
      {kBlock, "5", "minutes an address's LOGINs are refused once it is blocked"},
      {kReserve, kAuto,
       "MiB an upload must leave free on the volume; auto: 1 GiB or 5% of the volume, whichever "
       "is smaller"},
      {kQuota, "0", "MiB a student's folder may hold (0: no quota)"},
      {kSysLogHosts, "",
       "addresses besides 127.0.0.1 and ::1 that may fetch the log (GETSYSLOG), e.g. the "
       "teacher's PC"},
      {kPerAddress, "64",
       "connections one address may hold at once; further ones are closed at once (0: no cap)"},
      {kMaxConnections, kAuto,
       "connections the service holds at once; further ones are closed at once; auto: what the "
       "open-files limit allows, less a reserve for files and the database"},
      {kLineSeconds, "30", "seconds a new connection has to send its command line (0: no limit)"},
      {kStallSeconds, "60",
       "seconds a transfer may go without progress before the connection ends; an unfinished "
       "upload keeps the old file (0: no limit)"},
      {kWorkers, "128",
       "threads that carry out commands at once; further commands wait (1 or more)"},
      {kHttpPort, "18780",
       "TCP port of the students' browser portal (0: no portal); takes effect at the next start"},
      {kHttpsCert, "",
       "PEM certificate file for HTTPS on the portal's port (with HttpsKey); empty: plain HTTP"},
      {kHttpsKey, "", "PEM private key file of HttpsCert"},
  };
  return catalog;
}

const OptionInfo* FindOption(std::string_view name) {
  for (const OptionInfo& option : OptionCatalog()) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

std::optional<std::string> OptionValueError(const OptionInfo& option, std::string_view value) {
  const std::string name = option.name;
  if (name == kSysLogHosts || name == kHttpsCert || name == kHttpsKey) return std::nullopt;
  if (TakesAuto(name) && value == kAuto) return std::nullopt;
  const std::optional<uint64_t> number = ParseNumber(value);
  if (!number || (name == kWorkers && *number == 0) || (name == kHttpPort && *number > 65535)) {
    return "'" + std::string(value) + "' is not a valid value for " + name +
           (name == kWorkers    ? " (a whole number, 1 or more)"
            : name == kHttpPort ? " (a port number, 0 to 65535)"
            : TakesAuto(name)   ? " (a whole number or auto)"
                                : " (a whole number)");
  }
  return std::nullopt;
}

void OptionValues::Load(const std::map<std::string, std::string>& rows) {
  const auto text = [&](const char* name) -> std::string {
    const OptionInfo& option = *FindOption(name);
    const auto row = rows.find(name);
    if (row == rows.end() || OptionValueError(option, row->second)) return option.defaultValue;
    return row->second;
  };
  const auto number = [&](const char* name) { return ParseNumber(text(name)).value_or(0); };
  LoginGraceMinutes = static_cast<uint32_t>(number(kGrace));
  LoginFailLimit = static_cast<uint32_t>(number(kFailLimit));
  LoginFailWindowMinutes = static_cast<uint32_t>(number(kFailWindow));
  LoginBlockMinutes = static_cast<uint32_t>(number(kBlock));
  const std::string reserve = text(kReserve);
  FreeSpaceReserveBytes =
      reserve == kAuto ? int64_t{-1} : static_cast<int64_t>(number(kReserve) << 20);
  StudentQuotaBytes = number(kQuota) << 20;
  SysLogHosts.Set(text(kSysLogHosts));
  ConnectionsPerAddress = static_cast<uint32_t>(number(kPerAddress));
  const std::string maxConnections = text(kMaxConnections);
  MaxConnections = maxConnections == kAuto ? 0 : static_cast<uint32_t>(number(kMaxConnections));
  CommandLineSeconds = static_cast<uint32_t>(number(kLineSeconds));
  TransferStallSeconds = static_cast<uint32_t>(number(kStallSeconds));
  WorkerThreads = static_cast<uint32_t>(number(kWorkers));
  HttpPort = static_cast<uint32_t>(number(kHttpPort));
  HttpsCert.Set(text(kHttpsCert));
  HttpsKey.Set(text(kHttpsKey));
}

std::vector<std::string> OptionItems(std::string_view text) {
  std::vector<std::string> items;
  std::string item;
  for (const char c : text) {
    if (c == ',' || c == ';' || c == ' ' || c == '\t') {
      if (!item.empty()) items.push_back(std::move(item));
      item.clear();
    } else {
      item += c;
    }
  }
  if (!item.empty()) items.push_back(std::move(item));
  return items;
}

}  // namespace orvo::core
