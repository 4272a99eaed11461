// One outgoing, blocking TCP connection (IPv4 or IPv6), used by the protocol client and the load
// client. Owned by one thread; the socket is closed by the destructor on every path.
// Failures raise SocketError with a message naming what went wrong ("cannot connect to H:P: ...").
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

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
std::string FormatEndpoint(const std::string& host, uint16_t port);

class ClientSocket {
 public:
  ClientSocket() = default;
  ~ClientSocket() { Close(); }
  ClientSocket(ClientSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ClientSocket& operator=(ClientSocket&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // Resolves `host` and tries each of its addresses in turn. Raises SocketError
  // "cannot connect to H:P: <reason>" when none answers. A positive `timeoutMs` bounds the connect
  // and every later send or receive that makes no progress (raising SocketTimeout).
  static ClientSocket Connect(const std::string& host, uint16_t port, int timeoutMs = 0);

  bool IsOpen() const { return fd_ >= 0; }
  int Native() const { return fd_; }

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
  explicit ClientSocket(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace orvo::platform
