// Socket addresses as both hosts' socket sources need them: the wildcard address a listener binds,
// the port a socket is bound to and the numeric text of a peer's address. Any thread.
#pragma once

#ifdef _WIN32
#include "platform/windows/Winsock.h"
#else
#include <sys/socket.h>
#endif

#include <cstdint>
#include <string>

#include "platform/NativeSocket.h"

namespace orvo::platform {

// Every local address of `family` (AF_INET or AF_INET6) on `port`, as a listener binds it;
// returns the length of the address written to `address`.
socklen_t AnyAddress(int family, uint16_t port, sockaddr_storage& address);

// The local port of a bound socket (IPv4 or IPv6).
uint16_t LocalPort(NativeSocket socket);

// Numeric IPv4 or IPv6 text; an IPv4 address mapped into IPv6 reads as the IPv4 one, so one
// client always gives one text.
std::string AddressText(const sockaddr_storage& address);

}  // namespace orvo::platform
