// A bare loopback client for end-to-end tests: sends exact bytes, reads the reply to the close.
// Every receive has a time limit, so a server that never answers fails the test instead of hanging.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace orvo::testing {

// A counted block as the server sends it: the 4-byte big-endian count, then the payload.
inline std::string Counted(const std::string& payload) {
  const auto n = static_cast<uint32_t>(payload.size());
  return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                     static_cast<char>(n >> 8), static_cast<char>(n)} +
         payload;
}

class RawClient {
 public:
  // `source` binds the client to a loopback address of its own (127.0.0.2 ...), to appear as
  // another peer. An address containing ':' is IPv6.
  explicit RawClient(uint16_t port, const std::string& host = "127.0.0.1",
                     const std::string& source = {}) {
    const bool v6 = host.find(':') != std::string::npos;
    fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) throw std::runtime_error("socket");
    timeval limit{20, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (v6) {
      sockaddr_in6 address{};
      address.sin6_family = AF_INET6;
      address.sin6_port = htons(port);
      ::inet_pton(AF_INET6, host.c_str(), &address.sin6_addr);
      if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        Fail("connect");
      return;
    }
    if (!source.empty()) {
      sockaddr_in local{};
      local.sin_family = AF_INET;
      ::inet_pton(AF_INET, source.c_str(), &local.sin_addr);
      if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) Fail("bind");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Fail("connect");
  }
  ~RawClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  void Send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) Fail("send");
      sent += static_cast<size_t>(n);
    }
  }

  void ShutdownSend() { ::shutdown(fd_, SHUT_WR); }

  // Everything until the server closes. Raises when the time limit passes first.
  std::string ReadToClose() {
    std::string reply;
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n == 0) return reply;
      if (n < 0) {
        if (errno == ECONNRESET) return reply;
        Fail("recv (no close within the time limit)");
      }
      reply.append(buffer, static_cast<size_t>(n));
    }
  }

  // Sends one request and returns the whole reply.
  static std::string Request(uint16_t port, const std::string& bytes) {
    RawClient client(port);
    client.Send(bytes);
    return client.ReadToClose();
  }

 private:
  [[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + strerror(errno));
  }
  int fd_ = -1;
};

}  // namespace orvo::testing
