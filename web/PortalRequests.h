// The portal's requests, one at a time: pages and assets, and the JSON interface that
// web/README.md describes, each over the server's browser sessions, its file roots and the
// shared file operations. Any worker thread; it keeps no state of its own between requests.
#pragma once

#include <string>

#include "core/ServiceState.h"
#include "net/OrvoServer.h"
#include "web/Exchange.h"

namespace orvo::web {

class PortalRequests {
 public:
  PortalRequests(net::TOrvoServer& server, core::ServiceState& state)
      : server_(server), state_(state) {}

  // Serves the request whose header `exchange` holds, from the browser at `address`; whether the
  // connection may wait for another request.
  bool Handle(Exchange& exchange, const std::string& address, bool secure);
  // Answers a request whose header could not be read: 431 when it was too long, else 400.
  void Refuse(Exchange& exchange, bool headerTooLong);

 private:
  net::TOrvoServer& server_;
  core::ServiceState& state_;
};

}  // namespace orvo::web
