// The byte stream under one connection: a socket in the service, a scripted buffer in tests.
// Used by one thread at a time. Failures raise ConnectionError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "platform/File.h"

namespace orvo::net {

class ConnectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Waits for and receives at most `size` bytes. 0 means the peer closed or reset its side.
  // Raises ConnectionError when the server aborted the connection (it is stopping).
  virtual std::size_t Receive(char* data, std::size_t size) = 0;
  // Sends every byte or raises ConnectionError.
  virtual void SendAll(const char* data, std::size_t size) = 0;
  // Sends `count` bytes of `file` from its current position; returns how many were sent, fewer
  // when the file ended early. The default reads and sends pieces of kPieceBytes.
  virtual uint64_t SendFromFile(platform::File& file, uint64_t count);
  // Holds back partial segments until switched off again (a hint; may do nothing).
  virtual void Cork(bool /*on*/) {}

  static constexpr std::size_t kPieceBytes = 32768;
};

}  // namespace orvo::net
