// SHA-256 of a byte stream fed in pieces, from the host's own cryptography (OpenSSL's libcrypto on
// Linux, BCrypt on Windows), and the digest as lower-case hex as sha256sum prints it. One object
// per stream and thread; the constructor and Update raise std::runtime_error when the host's
// library fails (in practice only for lack of memory).
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>

namespace orvo::platform {

class Sha256 {
 public:
  using Digest = std::array<unsigned char, 32>;

  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(const void* data, std::size_t size);
  // The digest of everything fed so far; the object then starts over on an empty stream.
  Digest Final();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// 64 lower-case hex digits.
std::string HexDigest(const Sha256::Digest& digest);

}  // namespace orvo::platform
