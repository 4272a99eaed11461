#include "platform/ClientSocket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace orvo::platform {
namespace {

std::string ErrnoText(int error) {
  return std::strerror(error);
}

struct AddrInfoFree {
  void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

}  // namespace

ClientSocket ClientSocket::Connect(const std::string& host, uint16_t port, int timeoutMs,
                                   const std::string& source) {
  const std::string where = "cannot connect to " + FormatEndpoint(host, port) +
                            (source.empty() ? "" : " from " + source) + ": ";
  std::unique_ptr<addrinfo, AddrInfoFree> local;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  if (!source.empty()) {
    addrinfo* raw = nullptr;
    addrinfo localHints = hints;
    localHints.ai_flags |= AI_NUMERICHOST | AI_PASSIVE;
    if (::getaddrinfo(source.c_str(), "0", &localHints, &raw) != 0) {
      throw SocketError(where + "the source is not a numeric IP address");
    }
    local.reset(raw);
  }
  hints.ai_family = local ? local->ai_family : AF_UNSPEC;
  addrinfo* raw = nullptr;
  const std::string service = std::to_string(port);
  const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &raw);
  if (rc != 0) {
    throw SocketError(where + (rc == EAI_SYSTEM ? ErrnoText(errno) : ::gai_strerror(rc)));
  }
  const std::unique_ptr<addrinfo, AddrInfoFree> list(raw);
  int lastError = EHOSTUNREACH;
  for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
    ClientSocket socket(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
    if (!socket.IsOpen()) {
      lastError = errno;
      continue;
    }
    if (local) {
#ifdef IP_BIND_ADDRESS_NO_PORT
      // The port is then picked at connect for the whole address pair, so a load client that
      // opens connection after connection from one source does not run out of ports.
      const int on = 1;
      ::setsockopt(socket.handle_, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
#endif
      if (::bind(socket.handle_, local->ai_addr, local->ai_addrlen) != 0) {
        lastError = errno;
        continue;
      }
    }
    if (timeoutMs > 0) {
      // Linux bounds connect() by the send timeout as well.
      timeval limit{};
      limit.tv_sec = timeoutMs / 1000;
      limit.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
      ::setsockopt(socket.handle_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      ::setsockopt(socket.handle_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    if (::connect(socket.handle_, a->ai_addr, a->ai_addrlen) == 0) return socket;
    lastError = errno == EINPROGRESS || errno == EAGAIN ? ETIMEDOUT : errno;
  }
  throw SocketError(where + ErrnoText(lastError));
}

void ClientSocket::SendAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(handle_, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) throw SocketTimeout();
      throw SocketError("send failed: " + ErrnoText(errno));
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

std::size_t ClientSocket::Receive(char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::recv(handle_, data, size, 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    // A server that closes with our bytes still unread resets the connection; for a client that
    // reads until the close this is the same end of the reply.
    if (errno == ECONNRESET) return 0;
    if (errno == EAGAIN || errno == EWOULDBLOCK) throw SocketTimeout();
    throw SocketError("receive failed: " + ErrnoText(errno));
  }
}

void ClientSocket::ShutdownSend() {
  // The peer may already be gone; the following receive reports what matters.
  ::shutdown(handle_, SHUT_WR);
}

void ClientSocket::SetNoDelay(bool on) {
  const int value = on ? 1 : 0;
  ::setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

void ClientSocket::Close() {
  if (handle_ >= 0) {
    ::close(handle_);
    handle_ = -1;
  }
}

}  // namespace orvo::platform
