#include "platform/RandomBytes.h"

#include <vector>

namespace orvo::platform {

std::string RandomToken(std::size_t bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::vector<unsigned char> raw(bytes);
  RandomBytes(raw.data(), raw.size());
  std::string token;
  uint32_t bits = 0;
  int held = 0;
  for (const unsigned char byte : raw) {
    bits = (bits << 8) | byte;
    held += 8;
    while (held >= 6) {
      held -= 6;
      token += kAlphabet[(bits >> held) & 63];
    }
  }
  if (held > 0) token += kAlphabet[(bits << (6 - held)) & 63];
  return token;
}

}  // namespace orvo::platform
