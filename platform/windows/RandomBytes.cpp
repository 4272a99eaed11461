#include "platform/RandomBytes.h"

// windows.h first: bcrypt.h needs its types.
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace orvo::platform {

void RandomBytes(void* data, std::size_t size) {
  auto* out = static_cast<unsigned char*>(data);
  while (size > 0) {
    // BCryptGenRandom counts in ULONG, which is 32 bits on Windows whatever size_t is.
    const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
    const NTSTATUS status = BCryptGenRandom(nullptr, out, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (!BCRYPT_SUCCESS(status)) {
      throw std::runtime_error("BCryptGenRandom failed (status " +
                               std::to_string(static_cast<unsigned long>(status)) + ")");
    }
    out += piece;
    size -= piece;
  }
}

}  // namespace orvo::platform
