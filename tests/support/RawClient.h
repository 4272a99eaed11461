// A bare loopback client for end-to-end tests: sends exact bytes, reads the reply to the close.
// Every receive has a time limit, so a server that never answers fails the test instead of hanging.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <cstdint>
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
    StartSockets();
    const bool v6 = host.find(':') != std::string::npos;
    socket_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (socket_ == kNone) Fail("socket");
    SetReceiveLimit(20);
    if (v6) {
      sockaddr_in6 address{};
      address.sin6_family = AF_INET6;
      address.sin6_port = htons(port);
      ::inet_pton(AF_INET6, host.c_str(), &address.sin6_addr);
      if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Fail("connect");
      }
      return;
    }
    if (!source.empty()) {
      sockaddr_in local{};
      local.sin_family = AF_INET;
      ::inet_pton(AF_INET, source.c_str(), &local.sin_addr);
      if (::bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) Fail("bind");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      Fail("connect");
    }
  }
  ~RawClient() { CloseSocket(); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  void Send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const auto n =
          ::send(socket_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), kNoSignal);
      if (n <= 0) {
        // The server may close (and so reset) a connection before reading all of a request it
        // refuses; what it answered, if anything, is then for ReadToClose to tell.
        if (LastErrorIsReset()) return;
        Fail("send");
      }
      sent += static_cast<size_t>(n);
    }
  }

#ifdef _WIN32
  void ShutdownSend() {
    ::shutdown(socket_, SD_SEND);
  }
#else
  void ShutdownSend() {
    ::shutdown(socket_, SHUT_WR);
  }
#endif

  // Everything until the server closes. Raises when the time limit passes first.
  std::string ReadToClose() {
    std::string reply;
    char buffer[65536];
    for (;;) {
      const auto n = ::recv(socket_, buffer, sizeof buffer, 0);
      if (n == 0) return reply;
      if (n < 0) {
        if (LastErrorIsReset()) return reply;
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
#ifdef _WIN32
  using Handle = SOCKET;
  static constexpr Handle kNone = INVALID_SOCKET;
  static constexpr int kNoSignal = 0;

  static void StartSockets() {
    static const bool started = [] {
      WSADATA data;
      return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) throw std::runtime_error("WSAStartup failed");
  }
  void SetReceiveLimit(int seconds) {
    const DWORD limit = static_cast<DWORD>(seconds) * 1000;
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                 sizeof limit);
  }
  // Windows reports a connection torn down under a blocked call as aborted rather than reset.
  static bool LastErrorIsReset() {
    const int error = ::WSAGetLastError();
    return error == WSAECONNRESET || error == WSAECONNABORTED;
  }
  void CloseSocket() {
    if (socket_ != kNone) ::closesocket(socket_);
  }
  [[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": Winsock error " +
                             std::to_string(::WSAGetLastError()));
  }
#else
  using Handle = int;
  static constexpr Handle kNone = -1;
  static constexpr int kNoSignal = MSG_NOSIGNAL;

  static void StartSockets() {}
  void SetReceiveLimit(int seconds) {
    timeval limit{seconds, 0};
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  }
  static bool LastErrorIsReset() {
    return errno == ECONNRESET;
  }
  void CloseSocket() {
    if (socket_ != kNone) ::close(socket_);
  }
  [[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + strerror(errno));
  }
#endif

  Handle socket_ = kNone;
};

}  // namespace orvo::testing
