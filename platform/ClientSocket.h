// One outgoing, blocking TCP connection (IPv4 or IPv6), used by the protocol client and the load
// client. Owned by one thread; the socket is closed by the destructor on every path.
// Failures raise SocketError with a message naming what went wrong ("cannot connect to H:P: ...").
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/NativeSocket.h"

namespace orvo::platform {

class SocketError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The time limit passed without the peer making progress.
class SocketTimeout : public SocketError {
 public:
  SocketTimeout() : SocketError("timed out") {}
};

// "host:port", with brackets around an IPv6 literal so the port stays readable.
inline std::string FormatEndpoint(const std::string& host, uint16_t port) {
  if (host.find(':') != std::string::npos) return "[" + host + "]:" + std::to_string(port);
  return host + ":" + std::to_string(port);
}

class ClientSocket {
 public:
  ClientSocket() = default;
  ~ClientSocket() { Close(); }
  ClientSocket(ClientSocket&& other) noexcept : handle_(std::exchange(other.handle_, kNoSocket)) {}
  ClientSocket& operator=(ClientSocket&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kNoSocket);
    }
    return *this;
  }
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // Resolves `host` and tries each of its addresses in turn. Raises SocketError
  // "cannot connect to H:P: <reason>" when none answers. A positive `timeoutMs` bounds the connect
  // and every later send or receive that makes no progress (raising SocketTimeout).
  // A non-empty `source` (a numeric IPv4 or IPv6 address) is the local address the connection
  // leaves from, any port: one host can so stand for several client PCs (127.0.0.2, 127.0.0.3,
  // ... on loopback). Only addresses of the source's family are tried then.
  static ClientSocket Connect(const std::string& host, uint16_t port, int timeoutMs = 0,
                              const std::string& source = {});

  bool IsOpen() const { return handle_ != kNoSocket; }
  NativeSocket Native() const { return handle_; }

  // Sends every byte; raises SocketError when the peer is gone (no SIGPIPE is raised).
  void SendAll(const char* data, std::size_t size);
  // Waits for and receives at most `size` bytes; 0 means the peer closed its side.
  // A reset by the peer raises SocketError.
  std::size_t Receive(char* data, std::size_t size);
  // Tells the peer that nothing more will be sent; receiving goes on.
  void ShutdownSend();
  // Disables Nagle's algorithm (for one-line requests whose latency is measured).
  void SetNoDelay(bool on);
  void Close();

 private:
  explicit ClientSocket(NativeSocket handle) : handle_(handle) {}
  NativeSocket handle_ = kNoSocket;
};

}  // namespace orvo::platform
