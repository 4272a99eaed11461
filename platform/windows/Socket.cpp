#include <stdexcept>

#include "platform/Socket.h"

namespace orvo::platform {
std::size_t Socket::Receive(char*, std::size_t) { throw std::runtime_error("not available on Windows yet"); }
void Socket::SendAll(const char*, std::size_t) { throw std::runtime_error("not available on Windows yet"); }
uint64_t Socket::SendFile(File&, uint64_t) { throw std::runtime_error("not available on Windows yet"); }
void Socket::SetCork(bool) {}
void Socket::EnableKeepAlive() {}
void Socket::Shutdown() {}
void Socket::Close() {}
Listeners ListenOnAllAddresses(uint16_t, int) { throw std::runtime_error("not available on Windows yet"); }
bool WaitForConnection(const Socket&, int) { return false; }
Accepted Accept(const Socket&) { return {}; }
WakePipe::WakePipe() {}
WakePipe::~WakePipe() {}
void WakePipe::Wake() {}
}  // namespace orvo::platform
