#include "net/SocketStream.h"

#include <system_error>

namespace orvo::net {

void SocketStream::Fail(const std::system_error& error) {
  if (error.code() == std::errc::timed_out) timedOut_ = true;
  throw ConnectionError(error.what());
}

void SocketStream::ThrowIfAborted() const {
  if (aborted_.load()) throw ConnectionError("connection closed by the server");
}

std::size_t SocketStream::Receive(char* data, std::size_t size) {
  ThrowIfAborted();
  std::size_t n = 0;
  try {
    n = socket_.Receive(data, size);
  } catch (const std::system_error& e) {
    Fail(e);
  }
  // A shutdown from Abort() looks like an orderly close; it must not end an upload normally.
  ThrowIfAborted();
  return n;
}

void SocketStream::SendAll(const char* data, std::size_t size) {
  ThrowIfAborted();
  try {
    socket_.SendAll(data, size);
  } catch (const std::system_error& e) {
    Fail(e);
  }
}

uint64_t SocketStream::SendFromFile(platform::File& file, uint64_t count) {
  ThrowIfAborted();
  try {
    return socket_.SendFile(file, count);
  } catch (const std::system_error& e) {
    Fail(e);
  }
}

void SocketStream::Cork(bool on) {
  try {
    // Uncorking may send bytes that were held back.
    socket_.SetCork(on);
  } catch (const std::system_error& e) {
    Fail(e);
  }
}

void SocketStream::Abort() {
  aborted_.store(true);
  socket_.Shutdown();
}

}  // namespace orvo::net
