#include "platform/RandomBytes.h"

#include <sys/random.h>

#include <cerrno>
#include <stdexcept>

namespace orvo::platform {

void RandomBytes(void* data, std::size_t size) {
  auto* out = static_cast<unsigned char*>(data);
  while (size > 0) {
    const ssize_t got = ::getrandom(out, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("the system gives no random bytes");
    }
    out += got;
    size -= static_cast<std::size_t>(got);
  }
}

}  // namespace orvo::platform
