// One client connection as the handlers see it: the byte stream plus the framing's input buffer
// (bytes received and not yet consumed). Owned and used by the connection's own thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "net/ByteStream.h"

namespace orvo::net {

class Connection {
 public:
  Connection(ByteStream& stream, std::string peerAddress = {})
      : stream_(stream), peerAddress_(std::move(peerAddress)) {}

  ByteStream& Stream() { return stream_; }
  const std::string& PeerAddress() const { return peerAddress_; }

  // The unconsumed input bytes.
  std::string& Input() { return input_; }

  // What a served kind of connection keeps from one request to the next (a TLS session); it
  // travels with the connection while it waits on the loop.
  std::shared_ptr<void>& State() { return state_; }

 private:
  ByteStream& stream_;
  std::string peerAddress_;
  std::string input_;
  std::shared_ptr<void> state_;
};

}  // namespace orvo::net
