// Throttling of password guessing per client address: after a number of refused LOGINs within a
// window, the address's LOGINs are refused for a while without asking the database. Only the
// address that guessed is blocked, so no student can lock a classmate out. The functions work on
// a peer record and are called holding the peer table's lock.
#pragma once

#include <cstdint>

#include "core/Options.h"
#include "net/OrvoServer.h"

namespace orvo::net {

struct ThrottleRules {
  uint32_t failLimit = 5;  // 0: never block
  uint32_t windowMs = 5 * 60'000;
  uint32_t blockMs = 5 * 60'000;

  // The rules as `options` hold them now.
  static ThrottleRules FromOptions(const core::OptionValues& options);
};

// Whether `peer` may try a LOGIN at `tick`; a block that has run out is lifted here.
bool LoginAllowed(TOrvoUser& peer, uint32_t tick);
// Records a refused LOGIN at `tick` and blocks the address once the limit is reached.
void NoteRefusedLogin(TOrvoUser& peer, uint32_t tick, const ThrottleRules& rules);
// Milliseconds left of the address's block at `tick`; 0 when it is not blocked.
uint32_t BlockMsLeft(const TOrvoUser& peer, uint32_t tick);

}  // namespace orvo::net
