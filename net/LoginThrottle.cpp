#include "net/LoginThrottle.h"

#include <algorithm>
#include <vector>

namespace orvo::net {
namespace {

constexpr uint32_t kMinute = 60'000;
// Longer spans could not be told apart on the 32-bit tick count.
constexpr uint32_t kLongestSpan = 24 * 60 * kMinute;

uint32_t Minutes(uint32_t minutes) {
  return std::min<uint64_t>(uint64_t{minutes} * kMinute, kLongestSpan);
}

}  // namespace

ThrottleRules ThrottleRules::FromOptions(const core::OptionValues& options) {
  return {options.LoginFailLimit.load(), Minutes(options.LoginFailWindowMinutes.load()),
          Minutes(options.LoginBlockMinutes.load())};
}

uint32_t BlockMsLeft(const TOrvoUser& peer, uint32_t tick) {
  if (!peer.Blocked()) return 0;
  const auto left = static_cast<int32_t>(peer.BlockedUntil() - tick);
  return left > 0 ? static_cast<uint32_t>(left) : 0;
}

bool LoginAllowed(TOrvoUser& peer, uint32_t tick) {
  if (!peer.Blocked()) return true;
  if (BlockMsLeft(peer, tick) > 0) return false;
  peer.Unblock();
  return true;
}

void NoteRefusedLogin(TOrvoUser& peer, uint32_t tick, const ThrottleRules& rules) {
  if (rules.failLimit == 0) return;
  std::vector<uint32_t>& refused = peer.RefusedLogins();
  std::erase_if(refused, [&](uint32_t at) { return tick - at >= rules.windowMs; });
  refused.push_back(tick);
  if (refused.size() >= rules.failLimit) {
    peer.Block(tick + rules.blockMs);
    refused.clear();
  }
}

}  // namespace orvo::net
