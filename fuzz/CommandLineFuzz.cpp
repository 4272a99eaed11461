// Feeds arbitrary bytes, cut into arbitrary receive pieces, to the command-line reader and the
// password masking that follows it in the server.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/Framing.h"
#include "net/LogMasking.h"
#include "tests/support/MemoryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the receive piece size, so splits of CR and LF are explored too.
  const std::size_t piece = 1 + data[0] % 64;
  orvo::testing::MemoryStream stream;
  stream.Feed(std::string(reinterpret_cast<const char*>(data + 1), size - 1), piece);
  orvo::net::Connection connection(stream);
  try {
    const std::string line = orvo::net::ReadCommandLine(connection);
    if (line.size() > orvo::net::kMaxCommandLineBytes * 3) __builtin_trap();
    (void)orvo::net::MaskForLog(line);
  } catch (const orvo::net::ConnectionError&) {
  }
  return 0;
}
