#include "platform/RandomBytes.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvo::platform {
namespace {

TEST(RandomToken, HasTheBase64UrlLengthAndAlphabet) {
  const std::vector<std::pair<std::size_t, std::size_t>> lengths = {
      {0, 0}, {1, 2}, {2, 3}, {3, 4}, {4, 6}, {16, 22}, {32, 43}};
  for (const auto& [bytes, characters] : lengths) {
    const std::string token = RandomToken(bytes);
    EXPECT_EQ(token.size(), characters) << bytes;
    EXPECT_EQ(
        token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
        std::string::npos)
        << token;
  }
}

TEST(RandomToken, NeverRepeatsAndUsesTheWholeAlphabet) {
  std::set<std::string> tokens;
  std::set<char> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::string token = RandomToken();
    EXPECT_TRUE(tokens.insert(token).second) << token;
    seen.insert(token.begin(), token.end());
  }
  // 86,000 characters drawn from 64: a coding fault that drops a bit or a character shows here.
  EXPECT_EQ(seen.size(), 64u);
}

TEST(RandomBytes, FillsABufferLargerThanOneCallGives) {
  // getrandom gives at most 32 MiB a call: the tail must be filled as well.
  std::vector<unsigned char> buffer(40u << 20, 0);
  RandomBytes(buffer.data(), buffer.size());
  const auto tail = buffer.end() - 4096;
  EXPECT_TRUE(std::any_of(tail, buffer.end(), [](unsigned char b) { return b != 0; }));
  EXPECT_TRUE(
      std::any_of(buffer.begin(), buffer.begin() + 4096, [](unsigned char b) { return b != 0; }));
}

}  // namespace
}  // namespace orvo::platform
