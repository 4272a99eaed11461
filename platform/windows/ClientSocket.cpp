#include "platform/ClientSocket.h"

// winsock2.h must come before windows.h, which the headers below may include.
#include "platform/windows/Winsock.h"

#include <algorithm>
#include <climits>
#include <memory>

namespace orvo::platform {
namespace {

struct AddrInfoFree {
  void operator()(ADDRINFOW* list) const { ::FreeAddrInfoW(list); }
};

// Connects `s` within `timeoutMs`: a non-blocking connect and a select() on its completion,
// because Windows does not bound connect() by the socket's send time limit. Returns 0 or the
// error code.
int ConnectWithin(SOCKET s, const sockaddr* address, int length, int timeoutMs) {
  u_long nonBlocking = 1;
  if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return ::WSAGetLastError();
  int error = 0;
  if (::connect(s, address, length) != 0) {
    error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(s, &writable);
      FD_SET(s, &failed);
      timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
      const int ready = ::select(0, nullptr, &writable, &failed, &limit);
      if (ready == SOCKET_ERROR) {
        error = ::WSAGetLastError();
      } else if (ready == 0) {
        error = WSAETIMEDOUT;
      } else if (FD_ISSET(s, &failed)) {
        int length = sizeof error;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
            error == 0) {
          error = WSAECONNREFUSED;
        }
      } else {
        error = 0;
      }
    }
  }
  nonBlocking = 0;
  if (error == 0 && ::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) error = ::WSAGetLastError();
  return error;
}

}  // namespace

ClientSocket ClientSocket::Connect(const std::string& host, uint16_t port, int timeoutMs,
                                   const std::string& source) {
  const std::string where = "cannot connect to " + FormatEndpoint(host, port) +
                            (source.empty() ? "" : " from " + source) + ": ";
  try {
    EnsureWinsock();
  } catch (const std::system_error& e) {
    throw SocketError(where + e.what());
  }
  std::unique_ptr<ADDRINFOW, AddrInfoFree> local;
  ADDRINFOW hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  if (!source.empty()) {
    ADDRINFOW* raw = nullptr;
    ADDRINFOW localHints = hints;
    localHints.ai_flags |= AI_NUMERICHOST | AI_PASSIVE;
    if (::GetAddrInfoW(Wide(source).c_str(), L"0", &localHints, &raw) != 0) {
      throw SocketError(where + "the source is not a numeric IP address");
    }
    local.reset(raw);
  }
  hints.ai_family = local ? local->ai_family : AF_UNSPEC;
  ADDRINFOW* raw = nullptr;
  const int rc = ::GetAddrInfoW(Wide(host).c_str(), std::to_wstring(port).c_str(), &hints, &raw);
  if (rc != 0) throw SocketError(where + WindowsErrorText(static_cast<unsigned long>(rc)));
  const std::unique_ptr<ADDRINFOW, AddrInfoFree> list(raw);
  int lastError = WSAEHOSTUNREACH;
  for (const ADDRINFOW* a = list.get(); a != nullptr; a = a->ai_next) {
    ClientSocket socket(NewSocket(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (!socket.IsOpen()) {
      lastError = ::WSAGetLastError();
      continue;
    }
    if (local && ::bind(socket.handle_, local->ai_addr, static_cast<int>(local->ai_addrlen)) != 0) {
      lastError = ::WSAGetLastError();
      continue;
    }
    const int length = static_cast<int>(a->ai_addrlen);
    if (timeoutMs > 0) {
      // SO_RCVTIMEO and SO_SNDTIMEO take a DWORD of milliseconds on Windows.
      const DWORD limit = static_cast<DWORD>(timeoutMs);
      ::setsockopt(socket.handle_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                   sizeof limit);
      ::setsockopt(socket.handle_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit),
                   sizeof limit);
      lastError = ConnectWithin(socket.handle_, a->ai_addr, length, timeoutMs);
      if (lastError == 0) return socket;
      continue;
    }
    if (::connect(socket.handle_, a->ai_addr, length) == 0) return socket;
    lastError = ::WSAGetLastError();
  }
  throw SocketError(where + WindowsErrorText(static_cast<unsigned long>(lastError)));
}

void ClientSocket::SendAll(const char* data, std::size_t size) {
  while (size > 0) {
    const int n = ::send(handle_, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
    if (n == SOCKET_ERROR) {
      const int error = ::WSAGetLastError();
      if (error == WSAETIMEDOUT) throw SocketTimeout();
      throw SocketError("send failed: " + WindowsErrorText(static_cast<unsigned long>(error)));
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

std::size_t ClientSocket::Receive(char* data, std::size_t size) {
  const int n = ::recv(handle_, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
  if (n >= 0) return static_cast<std::size_t>(n);
  const int error = ::WSAGetLastError();
  // A server that closes with our bytes still unread resets the connection; for a client that
  // reads until the close this is the same end of the reply.
  if (error == WSAECONNRESET) return 0;
  if (error == WSAETIMEDOUT) throw SocketTimeout();
  throw SocketError("receive failed: " + WindowsErrorText(static_cast<unsigned long>(error)));
}

void ClientSocket::ShutdownSend() {
  // The peer may already be gone; the following receive reports what matters.
  ::shutdown(handle_, SD_SEND);
}

void ClientSocket::SetNoDelay(bool on) {
  const BOOL value = on ? TRUE : FALSE;
  ::setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value),
               sizeof value);
}

void ClientSocket::Close() {
  if (handle_ != kNoSocket) {
    ::closesocket(handle_);
    handle_ = kNoSocket;
  }
}

}  // namespace orvo::platform
