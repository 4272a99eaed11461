// Feeds arbitrary bytes to the counted-block receiver: the sink must hold exactly the bytes that
// arrived, never more than announced, whatever the count says.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/Framing.h"
#include "tests/support/MemoryStream.h"

namespace {
class CountingSink final : public orvo::net::ByteSink {
 public:
  void Reserve(uint64_t size) override { reserved = size; }
  void Write(const char*, std::size_t size) override { written += size; }
  uint64_t reserved = 0;
  uint64_t written = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  orvo::testing::MemoryStream stream;
  stream.Feed(input, piece);
  orvo::net::Connection connection(stream);
  CountingSink sink;
  try {
    const auto end = orvo::net::ReceiveCountedBlock(connection, sink);
    if (end == orvo::net::BlockEnd::Counted && sink.written != sink.reserved) __builtin_trap();
  } catch (const orvo::net::ConnectionError&) {
  }
  if (sink.written > input.size()) __builtin_trap();
  return 0;
}
