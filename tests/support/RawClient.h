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

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/ByteOrder.h"

namespace orvo::testing {

// A counted block as the server sends it: the 4-byte big-endian count, then the payload.
inline std::string Counted(const std::string& payload) {
  return platform::Be32Bytes(static_cast<uint32_t>(payload.size())) + payload;
}

class RawClient {
 public:
  // `source` binds the client to a local address of its own (127.0.0.2, ...) before connecting,
  // so that the server sees another peer. An address containing ':' is IPv6; the source must be
  // of the same family as `host`.
  explicit RawClient(uint16_t port, const std::string& host = "127.0.0.1",
                     const std::string& source = {}) {
    StartSockets();
    sockaddr_storage address{};
    const int family = Numeric(host, port, address);
    sockaddr_storage local{};
    if (!source.empty() && Numeric(source, 0, local) != family) {
      throw std::runtime_error("source " + source + " is not of the family of " + host);
    }
    socket_ = ::socket(family, SOCK_STREAM, 0);
    if (socket_ == kNone) Fail("socket");
    try {
      SetTimeLimits(20);
      if (!source.empty() &&
          ::bind(socket_, reinterpret_cast<sockaddr*>(&local), Length(family)) != 0) {
        Fail("bind");
      }
      if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), Length(family)) != 0) {
        Fail("connect");
      }
    } catch (...) {
      // The destructor does not run for a constructor that throws.
      CloseSocket();
      throw;
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

  // What has arrived, at most `size` bytes, waiting for at least one; 0 when the server has
  // closed. Raises when the time limit passes first.
  std::size_t ReceiveSome(char* into, std::size_t size) {
    const auto n = ::recv(socket_, into, static_cast<int>(size), 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (LastErrorIsReset()) return 0;
    Fail("recv (nothing within the time limit)");
  }

  // Sends one request and returns the whole reply.
  static std::string Request(uint16_t port, const std::string& bytes) {
    RawClient client(port);
    client.Send(bytes);
    return client.ReadToClose();
  }

  // One command line (and any bytes after it) from the loopback address `source`, as the
  // student PC at that address would send it; the whole reply.
  static std::string RequestFrom(uint16_t port, const std::string& source, const std::string& line,
                                 const std::string& extra = {}) {
    RawClient client(port, "127.0.0.1", source);
    client.Send(line + "\r\n" + extra);
    return client.ReadToClose();
  }

  // Whether a LOGIN of `student` of `group` from `source` is accepted.
  static bool LogInFrom(uint16_t port, const std::string& source, const std::string& group,
                        const std::string& student, const std::string& password) {
    return RequestFrom(port, source, "LOGIN " + group + " " + student + " " + password).size() > 4;
  }

 private:
#ifdef _WIN32
  using AddressLength = int;
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
  // Receives and sends both: Wine can leave a send blocked for good once the server has closed.
  void SetTimeLimits(int seconds) {
    const DWORD limit = static_cast<DWORD>(seconds) * 1000;
    for (const int option : {SO_RCVTIMEO, SO_SNDTIMEO}) {
      ::setsockopt(socket_, SOL_SOCKET, option, reinterpret_cast<const char*>(&limit),
                   sizeof limit);
    }
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
  using AddressLength = socklen_t;
  using Handle = int;
  static constexpr Handle kNone = -1;
  static constexpr int kNoSignal = MSG_NOSIGNAL;

  static void StartSockets() {}
  void SetTimeLimits(int seconds) {
    timeval limit{seconds, 0};
    for (const int option : {SO_RCVTIMEO, SO_SNDTIMEO}) {
      ::setsockopt(socket_, SOL_SOCKET, option, &limit, sizeof limit);
    }
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

  // Fills `address` from numeric IPv4 or IPv6 text; returns its family.
  static int Numeric(const std::string& text, uint16_t port, sockaddr_storage& address) {
    if (text.find(':') != std::string::npos) {
      auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
      v6.sin6_family = AF_INET6;
      v6.sin6_port = htons(port);
      if (::inet_pton(AF_INET6, text.c_str(), &v6.sin6_addr) != 1) BadAddress(text);
      return AF_INET6;
    }
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    if (::inet_pton(AF_INET, text.c_str(), &v4.sin_addr) != 1) BadAddress(text);
    return AF_INET;
  }
  static AddressLength Length(int family) {
    return static_cast<AddressLength>(family == AF_INET6 ? sizeof(sockaddr_in6)
                                                         : sizeof(sockaddr_in));
  }
  [[noreturn]] static void BadAddress(const std::string& text) {
    throw std::runtime_error("not a numeric address: " + text);
  }

  Handle socket_ = kNone;
};

}  // namespace orvo::testing
