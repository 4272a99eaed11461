#include "net/ByteStream.h"

#include <algorithm>
#include <memory>

namespace orvo::net {

uint64_t ByteStream::SendFromFile(platform::File& file, uint64_t count) {
  const auto buffer = std::make_unique<char[]>(kPieceBytes);
  uint64_t sent = 0;
  while (sent < count) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<uint64_t>(kPieceBytes, count - sent));
    const std::size_t got = file.Read(buffer.get(), want);
    if (got == 0) break;
    SendAll(buffer.get(), got);
    sent += got;
  }
  return sent;
}

}  // namespace orvo::net
