#include <gtest/gtest.h>

#include <cstdint>

#include "net/LoginThrottle.h"

namespace orvo::net {
namespace {

constexpr uint32_t kMinute = 60'000;

// Starting just before the 32-bit tick count wraps, so every span below crosses the wrap.
TEST(LoginThrottle, BlocksAtTheLimitWithinTheWindowForTheBlockTimeAcrossTheTickWrap) {
  const ThrottleRules rules{5, 5 * kMinute, 5 * kMinute};
  const uint32_t start = 0xFFFFFFFFu - 2 * kMinute;
  TOrvoUser peer("127.0.0.2");
  for (uint32_t i = 0; i < 4; ++i) {
    ASSERT_TRUE(LoginAllowed(peer, start + i * kMinute));
    NoteRefusedLogin(peer, start + i * kMinute, rules);
  }
  EXPECT_TRUE(LoginAllowed(peer, start + 4 * kMinute)) << "four refusals block nothing";
  NoteRefusedLogin(peer, start + 4 * kMinute, rules);
  EXPECT_FALSE(LoginAllowed(peer, start + 4 * kMinute + 1));
  EXPECT_EQ(BlockMsLeft(peer, start + 4 * kMinute), 5 * kMinute);
  EXPECT_FALSE(LoginAllowed(peer, start + 9 * kMinute - 1));
  EXPECT_TRUE(LoginAllowed(peer, start + 9 * kMinute)) << "the block runs out";
  EXPECT_EQ(BlockMsLeft(peer, start + 9 * kMinute), 0u);
  // The count starts afresh after a block.
  NoteRefusedLogin(peer, start + 9 * kMinute, rules);
  EXPECT_TRUE(LoginAllowed(peer, start + 9 * kMinute + 1));
}

TEST(LoginThrottle, RefusalsOlderThanTheWindowDoNotCountAndALimitOfZeroNeverBlocks) {
  TOrvoUser spread("127.0.0.3");
  for (uint32_t i = 0; i < 20; ++i) {
    NoteRefusedLogin(spread, i * (75 * 1000 + 1), {5, 5 * kMinute, 5 * kMinute});
  }
  EXPECT_TRUE(LoginAllowed(spread, 20 * 75 * 1000));
  TOrvoUser unlimited("127.0.0.4");
  for (uint32_t i = 0; i < 100; ++i) NoteRefusedLogin(unlimited, i, {0, 5 * kMinute, 5 * kMinute});
  EXPECT_TRUE(LoginAllowed(unlimited, 100));
}

}  // namespace
}  // namespace orvo::net
