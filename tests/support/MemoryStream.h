// A ByteStream over memory for framing and handler tests: input is handed out in scripted pieces
// (to show fragmentation), output is collected. A piece of -1 bytes simulates the server aborting.
#pragma once

#include <algorithm>
#include <deque>
#include <string>

#include "net/ByteStream.h"

namespace orvo::testing {

class MemoryStream final : public net::ByteStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::string input) { Feed(std::move(input)); }

  // Queues bytes that Receive hands out no more than `pieceLimit` at a time.
  void Feed(std::string bytes, std::size_t pieceLimit = kPieceBytes) {
    while (!bytes.empty()) {
      const std::size_t n = std::min(pieceLimit, bytes.size());
      pieces_.push_back(bytes.substr(0, n));
      bytes.erase(0, n);
    }
  }
  // After the queued pieces, Receive raises instead of reporting a close.
  void AbortAfterInput() { abortAtEnd_ = true; }

  std::size_t Receive(char* data, std::size_t size) override {
    ++receives_;
    if (pieces_.empty()) {
      if (abortAtEnd_) throw net::ConnectionError("aborted");
      return 0;
    }
    std::string& piece = pieces_.front();
    const std::size_t n = std::min(size, piece.size());
    piece.copy(data, n);
    piece.erase(0, n);
    if (piece.empty()) pieces_.pop_front();
    return n;
  }

  void SendAll(const char* data, std::size_t size) override {
    if (failSendsAfter_ != std::string::npos && output_.size() + size > failSendsAfter_) {
      output_.append(data, failSendsAfter_ - output_.size());
      throw net::ConnectionError("peer gone");
    }
    output_.append(data, size);
    largestSend_ = std::max(largestSend_, size);
  }

  // Sends fail once this many bytes went out.
  void FailSendsAfter(std::size_t bytes) { failSendsAfter_ = bytes; }

  const std::string& Output() const { return output_; }
  // The most bytes one SendAll handed over: what a reply held in memory at once.
  std::size_t LargestSend() const { return largestSend_; }
  std::size_t Receives() const { return receives_; }
  bool InputDrained() const { return pieces_.empty(); }

 private:
  std::deque<std::string> pieces_;
  std::string output_;
  std::size_t largestSend_ = 0;
  std::size_t receives_ = 0;
  std::size_t failSendsAfter_ = std::string::npos;
  bool abortAtEnd_ = false;
};

}  // namespace orvo::testing
