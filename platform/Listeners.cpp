#include "platform/ListenerSocket.h"
#include "platform/SocketAddress.h"

namespace orvo::platform {
namespace {

// A free port that another program holds on IPv6 only is given up for a new one this many times.
constexpr int kPortAttempts = 8;

}  // namespace

Listeners ListenOnAllAddresses(uint16_t port, int backlog) {
  for (int attempt = 1;; ++attempt) {
    Listeners listeners;
    listeners.sockets.push_back(BindListener(AF_INET, port, backlog));
    listeners.port = LocalPort(listeners.sockets.front().Native());
    try {
      listeners.sockets.push_back(BindListener(AF_INET6, listeners.port, backlog));
    } catch (const std::system_error& error) {
      // A picked port must be the same for both families, or IPv6 clients would reach whoever
      // holds the number there. A host without IPv6, or a fixed port taken there by another
      // program, still serves IPv4.
      if (port == 0 && IsAddressInUse(error) && attempt < kPortAttempts) continue;
    }
    return listeners;
  }
}

}  // namespace orvo::platform
