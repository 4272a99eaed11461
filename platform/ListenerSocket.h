// The host's side of ListenOnAllAddresses (Socket.h): one listening socket per address family.
// Any thread.
#pragma once

#include <cstdint>
#include <system_error>

#include "platform/Socket.h"

namespace orvo::platform {

// A socket listening on every local address of `family` (AF_INET or AF_INET6, the latter for
// IPv6 only). Raises std::system_error "cannot listen on port N".
Socket BindListener(int family, uint16_t port, int backlog);

// Whether BindListener failed because another socket holds the port.
bool IsAddressInUse(const std::system_error& error);

}  // namespace orvo::platform
