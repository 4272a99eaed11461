#include "platform/Socket.h"

// winsock2.h must come before windows.h, which the headers below may include.
#include "platform/windows/Winsock.h"

#include <mstcpip.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <system_error>

#include "platform/ListenerSocket.h"
#include "platform/SocketAddress.h"

namespace orvo::platform {
namespace {

static_assert(sizeof(SOCKET) == sizeof(NativeSocket));
static_assert(INVALID_SOCKET == kNoSocket);

// Pieces a download is read and sent in: large enough to keep the connection busy, small enough
// for thousands of connections at once.
constexpr std::size_t kFilePieceBytes = 256u << 10;
// While corked, sends up to this size are held back; a larger one goes out at once (behind what
// is held), because full segments are not delayed anyway.
constexpr std::size_t kCorkHoldBytes = 16u << 10;

[[noreturn]] void Fail(const std::string& what, int code) {
  throw std::system_error(code, WindowsCategory(), what);
}

[[noreturn]] void Fail(const char* what) {
  Fail(what, ::WSAGetLastError());
}

// A transfer call that the stall timeout ended moved nothing for that long.
[[noreturn]] void FailTransfer(const char* what, int code) {
  if (code == WSAETIMEDOUT) {
    throw std::system_error(std::make_error_code(std::errc::timed_out), what);
  }
  Fail(what, code);
}

void SetOption(SOCKET s, int level, int name, int value) {
  ::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

Socket BindListener(int family, uint16_t port, int backlog) {
  Socket socket(NewSocket(family, SOCK_STREAM, IPPROTO_TCP));
  if (!socket.IsOpen()) Fail("socket");
  // SO_REUSEADDR would let another program bind the same port and take connections meant for
  // this one; exclusive use is the Windows way to hold a service port.
  SetOption(socket.Native(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
  if (family == AF_INET6) SetOption(socket.Native(), IPPROTO_IPV6, IPV6_V6ONLY, 1);
  sockaddr_storage address;
  const socklen_t length = AnyAddress(family, port, address);
  if (::bind(socket.Native(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(socket.Native(), backlog) != 0) {
    const int error = ::WSAGetLastError();
    Fail("cannot listen on port " + std::to_string(port), error);
  }
  return socket;
}

bool IsAddressInUse(const std::system_error& error) {
  // An exclusive hold by another socket shows as WSAEACCES.
  return (error.code().value() == WSAEADDRINUSE || error.code().value() == WSAEACCES);
}

std::size_t Socket::Receive(char* data, std::size_t size) {
  const int n = ::recv(handle_, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
  if (n >= 0) return static_cast<std::size_t>(n);
  const int error = ::WSAGetLastError();
  switch (error) {
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENETRESET:
    case WSAENOTCONN:
    case WSAESHUTDOWN:
    // A receive that Shutdown() cancelled from another thread.
    case WSAEINTR:
    case WSA_OPERATION_ABORTED:
      return 0;
    default:
      FailTransfer("recv", error);
  }
}

void Socket::SendNow(const char* data, std::size_t size) {
  while (size > 0) {
    const int n = ::send(handle_, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
    if (n == SOCKET_ERROR) FailTransfer("send", ::WSAGetLastError());
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void Socket::SendAll(const char* data, std::size_t size) {
  if (corked_ && held_.size() + size <= kCorkHoldBytes) {
    held_.append(data, size);
    return;
  }
  if (!held_.empty()) {
    const std::string held = std::move(held_);
    held_.clear();
    SendNow(held.data(), held.size());
  }
  SendNow(data, size);
}

uint64_t Socket::SendFile(File& file, uint64_t count) {
  // TransmitFile would be the kernel's path, but client editions of Windows run only two at a
  // time and queue the rest: plain reads and sends serve every connection alike.
  const auto buffer = std::make_unique<char[]>(kFilePieceBytes);
  uint64_t sent = 0;
  while (sent < count) {
    // Bytes held by the cork lead the first piece.
    std::size_t offset = 0;
    if (!held_.empty()) {
      offset = held_.size();
      std::copy(held_.begin(), held_.end(), buffer.get());
      held_.clear();
    }
    const std::size_t want =
        static_cast<std::size_t>(std::min<uint64_t>(count - sent, kFilePieceBytes - offset));
    const std::size_t n = file.Read(buffer.get() + offset, want);
    SendNow(buffer.get(), offset + n);
    if (n == 0) break;  // the file is shorter than announced
    sent += n;
  }
  return sent;
}

void Socket::SetCork(bool on) {
  corked_ = on;
  if (!on && !held_.empty()) {
    const std::string held = std::move(held_);
    held_.clear();
    SendNow(held.data(), held.size());
  }
}

void Socket::EnableKeepAlive() {
  SetOption(handle_, SOL_SOCKET, SO_KEEPALIVE, TRUE);
  // The first probe after two idle minutes, then one every 15 s (Windows gives up after ten).
  tcp_keepalive values{1, 120'000, 15'000};
  DWORD returned = 0;
  ::WSAIoctl(handle_, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr,
             nullptr);
}

void Socket::SetBlocking(bool on) {
  u_long nonBlocking = on ? 0 : 1;
  if (::ioctlsocket(handle_, FIONBIO, &nonBlocking) != 0) Fail("ioctlsocket");
}

void Socket::SetStallTimeout(std::chrono::milliseconds stall) {
  const DWORD ms = static_cast<DWORD>(std::clamp<int64_t>(stall.count(), 0, INT_MAX));
  ::setsockopt(handle_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
  ::setsockopt(handle_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

void Socket::Shutdown() {
  if (handle_ == kNoSocket) return;
  ::shutdown(handle_, SD_BOTH);
  // A blocking receive on Windows need not return when the socket is shut down; cancelling the
  // thread's pending request does end it.
  ::CancelIoEx(reinterpret_cast<HANDLE>(handle_), nullptr);
}

void Socket::Close() {
  if (handle_ != kNoSocket) {
    ::closesocket(handle_);
    handle_ = kNoSocket;
  }
  corked_ = false;
  held_.clear();
}

bool WaitForConnection(const Socket& listener, const ListenerWake& wake) {
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener.Native(), &readable);
    FD_SET(wake.Waitable(), &readable);
    if (::select(0, &readable, nullptr, nullptr, nullptr) == SOCKET_ERROR) {
      if (::WSAGetLastError() == WSAEINTR) continue;
      Fail("select");
    }
    if (FD_ISSET(wake.Waitable(), &readable)) return false;
    if (FD_ISSET(listener.Native(), &readable)) return true;
  }
}

Accepted Accept(const Socket& listener) {
  sockaddr_storage address{};
  int length = sizeof address;
  const SOCKET s = ::accept(listener.Native(), reinterpret_cast<sockaddr*>(&address), &length);
  if (s == INVALID_SOCKET)
    return {};  // the peer gave up, or resources ran out: the listener goes on
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return {Socket(s), AddressText(address)};
}

// A datagram socket on the loopback address receives the wake-up; the datagram is never read, so
// the socket stays readable for every waiting listener.
ListenerWake::ListenerWake() {
  receiver_ = NewSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sender_ = NewSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (receiver_ == INVALID_SOCKET || sender_ == INVALID_SOCKET ||
      ::bind(receiver_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(receiver_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::connect(sender_, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    const int error = ::WSAGetLastError();
    if (receiver_ != INVALID_SOCKET) ::closesocket(receiver_);
    if (sender_ != INVALID_SOCKET) ::closesocket(sender_);
    Fail("cannot make the listeners' wake-up socket", error);
  }
}

ListenerWake::~ListenerWake() {
  ::closesocket(receiver_);
  ::closesocket(sender_);
}

void ListenerWake::Wake() {
  const char byte = 1;
  ::send(sender_, &byte, 1, 0);
}

}  // namespace orvo::platform
