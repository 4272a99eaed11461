#include "platform/Socket.h"

#include "platform/ListenerSocket.h"
#include "platform/SocketAddress.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace orvo::platform {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

// A blocking transfer call that the stall timeout ended moved nothing for that long.
[[noreturn]] void FailTransfer(const char* what) {
  if (errno == EAGAIN || errno == EWOULDBLOCK) {
    throw std::system_error(std::make_error_code(std::errc::timed_out), what);
  }
  Fail(what);
}

void SetOption(int fd, int level, int name, int value) {
  ::setsockopt(fd, level, name, &value, sizeof value);
}

// Blocks SIGPIPE on the calling thread for its lifetime. Consume() takes back a SIGPIPE that a
// failed send raised meanwhile, unless one was pending before (that one is not ours to take).
class QuietPipe {
 public:
  QuietPipe() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    ::sigpending(&pending);
    pendingBefore_ = sigismember(&pending, SIGPIPE) == 1;
    ::pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
  }
  ~QuietPipe() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  QuietPipe(const QuietPipe&) = delete;
  QuietPipe& operator=(const QuietPipe&) = delete;

  void Consume() const {
    if (pendingBefore_) return;
    const int savedErrno = errno;
    const timespec now{0, 0};
    ::sigtimedwait(&pipe_, nullptr, &now);
    errno = savedErrno;
  }

 private:
  sigset_t pipe_;
  sigset_t previous_;
  bool pendingBefore_ = false;
};

}  // namespace

Socket BindListener(int family, uint16_t port, int backlog) {
  Socket socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.IsOpen()) Fail("socket");
  SetOption(socket.Native(), SOL_SOCKET, SO_REUSEADDR, 1);
  if (family == AF_INET6) SetOption(socket.Native(), IPPROTO_IPV6, IPV6_V6ONLY, 1);
  sockaddr_storage address;
  const socklen_t length = AnyAddress(family, port, address);
  if (::bind(socket.Native(), reinterpret_cast<sockaddr*>(&address), length) != 0) {
    Fail("cannot listen on port " + std::to_string(port));
  }
  if (::listen(socket.Native(), backlog) != 0)
    Fail("cannot listen on port " + std::to_string(port));
  return socket;
}

bool IsAddressInUse(const std::system_error& error) {
  return error.code().value() == EADDRINUSE;
}

std::size_t Socket::Receive(char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::recv(handle_, data, size, 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno == ECONNRESET || errno == ETIMEDOUT || errno == ENOTCONN || errno == EPIPE) return 0;
    FailTransfer("recv");
  }
}

void Socket::SendAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(handle_, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      FailTransfer("send");
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

uint64_t Socket::SendFile(File& file, uint64_t count) {
  // sendfile takes no MSG_NOSIGNAL: a peer gone mid-transfer would raise SIGPIPE and end the
  // whole process unless the program ignores it. Blocked here, the signal is taken back below.
  const QuietPipe quiet;
  uint64_t sent = 0;
  while (sent < count) {
    const std::size_t piece = static_cast<std::size_t>(std::min<uint64_t>(count - sent, 1u << 30));
    const ssize_t n = ::sendfile(handle_, file.Native(), nullptr, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EPIPE) quiet.Consume();
      FailTransfer("sendfile");
    }
    if (n == 0) break;  // the file is shorter than announced
    sent += static_cast<uint64_t>(n);
  }
  return sent;
}

void Socket::SetCork(bool on) {
  SetOption(handle_, IPPROTO_TCP, TCP_CORK, on ? 1 : 0);
}

void Socket::EnableKeepAlive() {
  SetOption(handle_, SOL_SOCKET, SO_KEEPALIVE, 1);
  SetOption(handle_, IPPROTO_TCP, TCP_KEEPIDLE, 120);
  SetOption(handle_, IPPROTO_TCP, TCP_KEEPINTVL, 15);
  SetOption(handle_, IPPROTO_TCP, TCP_KEEPCNT, 8);
}

void Socket::SetBlocking(bool on) {
  const int flags = ::fcntl(handle_, F_GETFL);
  if (flags < 0) Fail("fcntl");
  if (::fcntl(handle_, F_SETFL, on ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) != 0) Fail("fcntl");
}

void Socket::SetStallTimeout(std::chrono::milliseconds stall) {
  const auto ms = stall.count() < 0 ? 0 : stall.count();
  timeval interval{};
  interval.tv_sec = static_cast<time_t>(ms / 1000);
  interval.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
  ::setsockopt(handle_, SOL_SOCKET, SO_RCVTIMEO, &interval, sizeof interval);
  ::setsockopt(handle_, SOL_SOCKET, SO_SNDTIMEO, &interval, sizeof interval);
}

void Socket::Shutdown() {
  if (handle_ >= 0) ::shutdown(handle_, SHUT_RDWR);
}

void Socket::Close() {
  if (handle_ >= 0) {
    ::close(handle_);
    handle_ = -1;
  }
}

bool WaitForConnection(const Socket& listener, const ListenerWake& wake) {
  pollfd fds[2] = {{listener.Native(), POLLIN, 0}, {wake.Waitable(), POLLIN, 0}};
  for (;;) {
    const int rc = ::poll(fds, 2, -1);
    if (rc < 0) {
      if (errno == EINTR) continue;
      Fail("poll");
    }
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

Accepted Accept(const Socket& listener) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  const int fd =
      ::accept4(listener.Native(), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
  if (fd < 0) return {};  // the peer gave up, or descriptors ran out: the listener goes on
  return {Socket(fd), AddressText(address)};
}

// The byte written is never read, so the pipe stays readable for every waiting listener.
ListenerWake::ListenerWake() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) Fail("pipe");
  receiver_ = fds[0];
  sender_ = fds[1];
}

ListenerWake::~ListenerWake() {
  ::close(receiver_);
  ::close(sender_);
}

void ListenerWake::Wake() {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(sender_, &byte, 1);
}

}  // namespace orvo::platform
