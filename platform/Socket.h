// TCP sockets behind a small interface: listening on every local address, accepting, and the
// blocking send/receive calls one connection thread makes. A Socket is owned by one thread; the
// only call another thread may make is Shutdown(), which wakes a blocked Receive or Send. Failures
// raise std::system_error.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "platform/File.h"
#include "platform/NativeSocket.h"

namespace orvo::platform {

class Socket {
 public:
  Socket() = default;
  explicit Socket(NativeSocket handle) : handle_(handle) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept { *this = std::move(other); }
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, kNoSocket);
#ifdef _WIN32
      corked_ = std::exchange(other.corked_, false);
      held_ = std::move(other.held_);
      other.held_.clear();
#endif
    }
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool IsOpen() const {
    return handle_ != kNoSocket;
  }
  NativeSocket Native() const {
    return handle_;
  }

  // Gives up the handle without closing it; the socket is then empty.
  NativeSocket Release() {
    return std::exchange(handle_, kNoSocket);
  }

  // Receives at most `size` bytes; 0 when the peer closed or reset the connection.
  std::size_t Receive(char* data, std::size_t size);
  // Sends every byte; raises when the connection breaks.
  void SendAll(const char* data, std::size_t size);
  // Sends `count` bytes of `file` from its position (through the kernel's file-to-socket path
  // where the host has one); returns how many went out (fewer when the file ended early).
  uint64_t SendFile(File& file, uint64_t count);
  // While corked, small sends are held back so that a count and the data after it leave in one
  // segment; uncorking sends what is held.
  void SetCork(bool on);
  // Keep-alive probes, so a peer that vanished without a word is noticed eventually.
  void EnableKeepAlive();
  // Blocking mode (the default of a new socket) or not.
  void SetBlocking(bool on);
  // A receive or send that moves no byte for `stall` raises std::system_error with
  // std::errc::timed_out; 0 waits for ever.
  void SetStallTimeout(std::chrono::milliseconds stall);
  void Shutdown();
  void Close();

 private:
  NativeSocket handle_ = kNoSocket;
#ifdef _WIN32
  // Windows has no TCP_CORK: the bytes sent while corked wait here. Without this the 4-byte count
  // of a small download would go alone and Nagle's algorithm would hold the data behind it until
  // the client's delayed acknowledgement.
  void SendNow(const char* data, std::size_t size);
  bool corked_ = false;
  std::string held_;
#endif
};

struct Accepted {
  Socket socket;
  std::string peerAddress;  // numeric IPv4 or IPv6 text; one address always gives one text
};

// The longest queue of pending connections a listener may ask for: the system takes its own maximum
// (net.core.somaxconn on Linux; SOMAXCONN is this value on Windows).
inline constexpr int kMaxListenBacklog = std::numeric_limits<int>::max();

// Listening sockets on all IPv4 and, where the host has IPv6, all IPv6 addresses on one port
// (0 picks a free port, the same for both). Raises std::system_error naming the port when the
// IPv4 address cannot be bound.
struct Listeners {
  std::vector<Socket> sockets;  // IPv4 first, then IPv6 where the host has it
  uint16_t port = 0;
};
Listeners ListenOnAllAddresses(uint16_t port, int backlog);

// Wakes the threads waiting in WaitForConnection, once and for good: after Wake() every wait on
// it returns at once. Any thread may call Wake(). On Linux a pipe; on Windows, where select()
// takes sockets only, a loopback datagram socket that Wake() sends one datagram to.
class ListenerWake {
 public:
  ListenerWake();
  ~ListenerWake();
  ListenerWake(const ListenerWake&) = delete;
  ListenerWake& operator=(const ListenerWake&) = delete;
  // The handle that turns readable on Wake().
  NativeSocket Waitable() const { return receiver_; }
  void Wake();

 private:
  NativeSocket receiver_ = kNoSocket;
  NativeSocket sender_ = kNoSocket;
};

// Waits until `listener` has a connection or `wake` was woken. Returns false on wake-up.
bool WaitForConnection(const Socket& listener, const ListenerWake& wake);
// Accepts one pending connection; an empty socket when there was none after all.
Accepted Accept(const Socket& listener);

}  // namespace orvo::platform
