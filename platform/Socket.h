// TCP sockets behind a small interface: listening on every local address, accepting, and the
// blocking send/receive calls one connection thread makes. A Socket is owned by one thread; the only
// call another thread may make is Shutdown(), which wakes a blocked Receive or Send.
// Failures raise std::system_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/File.h"

namespace orvo::platform {

class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Native() const { return fd_; }

  // Receives at most `size` bytes; 0 when the peer closed or reset the connection.
  std::size_t Receive(char* data, std::size_t size);
  // Sends every byte; raises when the connection breaks.
  void SendAll(const char* data, std::size_t size);
  // Sends `count` bytes of `file` from its position with the kernel's file-to-socket path;
  // returns how many went out (fewer when the file ended early).
  uint64_t SendFile(File& file, uint64_t count);
  void SetCork(bool on);
  // Keep-alive probes, so a peer that vanished without a word is noticed eventually.
  void EnableKeepAlive();
  void Shutdown();
  void Close();

 private:
  int fd_ = -1;
};

struct Accepted {
  Socket socket;
  std::string peerAddress;  // numeric IPv4 or IPv6 text; one address always gives one text
};

// Listening sockets on all IPv4 and, where the host has IPv6, all IPv6 addresses on one port
// (0 picks a free port, the same for both). Raises std::system_error naming the port when the
// IPv4 address cannot be bound.
struct Listeners {
  std::vector<Socket> sockets;
  uint16_t port = 0;
};
Listeners ListenOnAllAddresses(uint16_t port, int backlog);

// Waits until `listener` has a connection or `wake` becomes readable. Returns false on wake-up.
bool WaitForConnection(const Socket& listener, int wakeFd);
// Accepts one pending connection; an empty socket when there was none after all.
Accepted Accept(const Socket& listener);

// A pipe whose write end wakes the waiting listeners.
class WakePipe {
 public:
  WakePipe();
  ~WakePipe();
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;
  int ReadFd() const { return fds_[0]; }
  void Wake();

 private:
  int fds_[2] = {-1, -1};
};

}  // namespace orvo::platform
