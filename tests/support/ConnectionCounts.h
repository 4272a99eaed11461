// Counts of refused and timed-out connections put straight into the peer table, as the connection
// core counts them, so the operator's views can be tested without driving the limits themselves.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/OrvoServer.h"

namespace orvo::testing {

// Adds `refused` and `timedOut` to the counts of `address`, making its peer record if it has none.
inline void CountLimitedConnections(net::TOrvoServer& server, const std::string& address,
                                    uint64_t refused, uint64_t timedOut) {
  server.UserDic().Add(address, std::make_unique<net::TOrvoUser>(address));
  server.UserDic().With(address, [&](net::TOrvoUser& peer) {
    for (uint64_t i = 0; i < refused; ++i) peer.NoteRefusedConnection();
    for (uint64_t i = 0; i < timedOut; ++i) peer.NoteTimedOutConnection();
  });
}

}  // namespace orvo::testing
