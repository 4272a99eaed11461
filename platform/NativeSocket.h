// The host's socket handle as the socket classes hold it: a descriptor on Linux, a SOCKET
// (UINT_PTR) on Windows, so no header needs the Winsock headers.
#pragma once

#include <cstdint>

namespace orvo::platform {

#ifdef _WIN32
using NativeSocket = std::uintptr_t;
inline constexpr NativeSocket kNoSocket = ~NativeSocket{0};  // INVALID_SOCKET
#else
using NativeSocket = int;
inline constexpr NativeSocket kNoSocket = -1;
#endif

}  // namespace orvo::platform
