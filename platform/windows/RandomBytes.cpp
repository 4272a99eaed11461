#include "platform/RandomBytes.h"

#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>

namespace orvo::platform {

void RandomBytes(void* data, std::size_t size) {
  auto* out = static_cast<unsigned char*>(data);
  while (size > 0) {
    const ULONG piece = static_cast<ULONG>(size > 0x10000000 ? 0x10000000 : size);
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, out, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      throw std::runtime_error("the system gives no random bytes");
    }
    out += piece;
    size -= piece;
  }
}

}  // namespace orvo::platform
