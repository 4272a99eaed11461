// Unpredictable bytes from the host's own source (getrandom on Linux, BCryptGenRandom on
// Windows), for session tokens. Raises std::runtime_error when the host cannot give them.
#pragma once

#include <cstddef>
#include <string>

namespace orvo::platform {

void RandomBytes(void* data, std::size_t size);

// `bytes` random bytes as a URL- and cookie-safe text (base64url without padding).
std::string RandomToken(std::size_t bytes = 32);

}  // namespace orvo::platform
