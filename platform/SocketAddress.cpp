#include "platform/SocketAddress.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

namespace orvo::platform {

socklen_t AnyAddress(int family, uint16_t port, sockaddr_storage& address) {
  address = {};
  if (family == AF_INET6) {
    auto* a6 = reinterpret_cast<sockaddr_in6*>(&address);
    a6->sin6_family = AF_INET6;
    a6->sin6_addr = in6addr_any;
    a6->sin6_port = htons(port);
    return sizeof *a6;
  }
  auto* a4 = reinterpret_cast<sockaddr_in*>(&address);
  a4->sin_family = AF_INET;
  a4->sin_addr.s_addr = htonl(INADDR_ANY);
  a4->sin_port = htons(port);
  return sizeof *a4;
}

uint16_t LocalPort(NativeSocket socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
  if (address.ss_family == AF_INET6)
    return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET6) {
    const auto* a6 = reinterpret_cast<const sockaddr_in6*>(&address);
    if (IN6_IS_ADDR_V4MAPPED(&a6->sin6_addr)) {
      ::inet_ntop(AF_INET, &a6->sin6_addr.s6_addr[12], text, sizeof text);
    } else {
      ::inet_ntop(AF_INET6, &a6->sin6_addr, text, sizeof text);
    }
  } else {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text,
                sizeof text);
  }
  return text;
}

}  // namespace orvo::platform
