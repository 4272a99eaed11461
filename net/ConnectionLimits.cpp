#include "net/ConnectionLimits.h"

#include <algorithm>

namespace orvo::net {
namespace {

// Where the host sets no descriptor limit (Windows), "auto" stands for this many connections.
constexpr std::size_t kUnlimitedHostTotal = 16384;

}  // namespace

ConnectionLimits ConnectionLimits::FromOptions(const core::OptionValues& options,
                                               uint64_t descriptorLimit) {
  ConnectionLimits limits;
  limits.perAddress = options.ConnectionsPerAddress.load();
  limits.commandLine = std::chrono::seconds(options.CommandLineSeconds.load());
  limits.transferStall = std::chrono::seconds(options.TransferStallSeconds.load());
  limits.workers = std::max<std::size_t>(1, options.WorkerThreads.load());
  // A worker holds at most a couple of files besides its connection.
  const uint64_t kept = kDescriptorReserve + 2 * uint64_t{limits.workers};
  std::size_t allowed = kUnlimitedHostTotal;
  if (descriptorLimit > 0) {
    allowed = static_cast<std::size_t>(descriptorLimit > kept ? descriptorLimit - kept : 0);
  }
  const std::size_t asked = options.MaxConnections.load();
  limits.total = std::max<std::size_t>(1, asked == 0 ? allowed : std::min(asked, allowed));
  return limits;
}

}  // namespace orvo::net
