// The limits that keep one client from using up the service: how many connections one address and
// all addresses together may hold, how long a new connection may take to send its command line,
// how long a transfer may go without progress, and how many commands run at once. They come from
// the options (core/Options.h) and the descriptor limit, all here, so the server reads one struct.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "core/Options.h"

namespace orvo::net {

struct ConnectionLimits {
  std::size_t perAddress = 64;                      // 0: no cap
  std::size_t total = 4096;                         // all connections together, at least 1
  std::chrono::milliseconds commandLine{30'000};    // 0: no limit
  std::chrono::milliseconds transferStall{60'000};  // 0: no limit
  std::size_t workers = 128;                        // at least 1

  // Descriptors kept back from connections, for the files commands open, the database, the log
  // and the listeners: the service can always accept a connection, if only to close it.
  static constexpr std::size_t kDescriptorReserve = 256;

  // The limits the options set; "auto" for the total is what `descriptorLimit` (the process's
  // open-files limit, 0 where the host has none) allows, less the reserve and the workers' files.
  static ConnectionLimits FromOptions(const core::OptionValues& options, uint64_t descriptorLimit);
};

}  // namespace orvo::net
