#include "platform/ClientSocket.h"

namespace orvo::platform {
std::string FormatEndpoint(const std::string& host, uint16_t port) { return host + ":" + std::to_string(port); }
ClientSocket ClientSocket::Connect(const std::string&, uint16_t, int) { throw SocketError("not available on Windows yet"); }
void ClientSocket::SendAll(const char*, std::size_t) { throw SocketError("not available on Windows yet"); }
std::size_t ClientSocket::Receive(char*, std::size_t) { throw SocketError("not available on Windows yet"); }
void ClientSocket::ShutdownSend() {}
void ClientSocket::SetNoDelay(bool) {}
void ClientSocket::Close() {}
}  // namespace orvo::platform
