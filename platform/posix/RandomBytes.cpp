#include "platform/RandomBytes.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace orvo::platform {

void RandomBytes(void* data, std::size_t size) {
  auto* out = static_cast<unsigned char*>(data);
  while (size > 0) {
    // getrandom gives at most 32 MiB per call and may be cut short by a signal; it blocks only
    // until the kernel's pool is first seeded, which is right for session tokens.
    const ssize_t got = ::getrandom(out, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("getrandom failed: ") + std::strerror(errno));
    }
    out += got;
    size -= static_cast<std::size_t>(got);
  }
}

}  // namespace orvo::platform
