#include "platform/RandomBytes.h"

#include <vector>

namespace orvo::platform {

std::string RandomToken(std::size_t bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::vector<unsigned char> raw(bytes);
  RandomBytes(raw.data(), raw.size());
  std::string token;
  token.reserve((bytes * 4 + 2) / 3);
  for (std::size_t at = 0; at < bytes; at += 3) {
    const std::size_t left = bytes - at;
    const unsigned group =
        raw[at] << 16 | (left > 1 ? raw[at + 1] << 8 : 0) | (left > 2 ? raw[at + 2] : 0);
    // Three bytes make four characters; a last group of one or two bytes makes two or three.
    token += kAlphabet[group >> 18 & 0x3F];
    token += kAlphabet[group >> 12 & 0x3F];
    if (left > 1) token += kAlphabet[group >> 6 & 0x3F];
    if (left > 2) token += kAlphabet[group & 0x3F];
  }
  return token;
}

}  // namespace orvo::platform
