// The ByteStream of a served connection over a socket. The connection thread uses it; the server's
// owning thread may call Abort() to end a blocked transfer when the service stops, after which
// every call raises ConnectionError (so an aborted until-close upload is never taken as complete).
#pragma once

#include <atomic>
#include <system_error>

#include "net/ByteStream.h"
#include "platform/Socket.h"

namespace orvo::net {

class SocketStream final : public ByteStream {
 public:
  explicit SocketStream(platform::Socket socket) : socket_(std::move(socket)) {}

  std::size_t Receive(char* data, std::size_t size) override;
  void SendAll(const char* data, std::size_t size) override;
  uint64_t SendFromFile(platform::File& file, uint64_t count) override;
  void Cork(bool on) override;

  void Abort();
  platform::Socket& Socket() { return socket_; }
  // Whether a receive or send ended because the socket's stall timeout passed.
  bool TimedOut() const { return timedOut_; }

 private:
  [[noreturn]] void Fail(const std::system_error& error);
  void ThrowIfAborted() const;

  platform::Socket socket_;
  std::atomic<bool> aborted_{false};
  bool timedOut_ = false;
};

}  // namespace orvo::net
