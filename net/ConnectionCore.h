// ConnectionCore: how the server waits. One event-loop thread accepts connections and reads each
// one's command line; only a connection whose command line has arrived goes to a worker thread,
// which serves it with blocking calls, so an idle connection costs no thread. The workers form a
// pool that grows with concurrent commands up to the limit and shrinks when idle.
// It enforces the connection limits (net/ConnectionLimits.h): the per-address and total caps when a
// connection is accepted, the command-line deadline on the loop, the stall timeout on the workers'
// sockets.
// Besides the protocol's listeners it can serve listeners of request-after-request connections
// (the browser portal's HTTP): their requests are handed to the same workers, and between two
// requests the connection waits on the loop again, so an idle kept-alive connection costs no
// thread either. Both kinds share the caps and the address hooks.
// Started and stopped by one owning thread. The hooks run on the loop thread, except `serve` and
// what follows it (`timedOut` of a stalled transfer, `disconnected`), which run on a worker.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/Connection.h"
#include "net/ConnectionLimits.h"
#include "platform/Socket.h"

namespace orvo::net {

class ConnectionCore {
 public:
  // Every hook must be set.
  struct Hooks {
    // A connection was accepted within the caps; its command line is awaited next.
    std::function<void(const std::string& address)> connected;
    // A connection was closed at once because its address, or the service, held the most allowed.
    std::function<void(const std::string& address)> refused;
    // A connection ended because its command line, or a transfer, did not come in time.
    std::function<void(const std::string& address)> timedOut;
    // Serves a connection whose command line has arrived; the line and anything after it that
    // came with it are in the connection's input. A raise ends the connection silently.
    std::function<void(Connection& connection)> serve;
    // A connection that `connected` announced has ended, whichever way.
    std::function<void(const std::string& address)> disconnected;
    // Runs on the loop now and then, for house-keeping such as expiring peer records.
    std::function<void()> sweep;
  };

  // Connections that carry one request after another.
  struct RequestHooks {
    // Whether `input` (what arrived since the last request was served) is enough for a worker to
    // start on; once it reaches `maxWaitingBytes` it is handed over anyway, for the worker to
    // refuse. Loop thread; must not raise.
    std::function<bool(std::string_view input)> ready;
    std::size_t maxWaitingBytes = 16384;
    // Serves what came; true keeps the connection to wait for its next request (what is left in
    // the connection's input and state goes with it). A raise ends the connection silently.
    std::function<bool(Connection& connection)> serve;
  };
  struct RequestListeners {
    platform::Listeners listeners;
    RequestHooks hooks;
  };

  // `limits` is asked at every accepted connection, so changed options apply to the next one.
  ConnectionCore(Hooks hooks, std::function<ConnectionLimits()> limits);
  ~ConnectionCore();  // stops
  ConnectionCore(const ConnectionCore&) = delete;
  ConnectionCore& operator=(const ConnectionCore&) = delete;

  // Serves the connections of `listeners` (IPv4 first, then IPv6), and those of `more`, until
  // Stop().
  void Start(platform::Listeners listeners, std::vector<RequestListeners> more = {});
  // Stops listening, closes every connection, waiting or being served, and waits for every thread.
  void Stop();

  // Connections held right now: waiting for their command line, queued or being served.
  std::size_t LiveConnections() const;
  // Whether `address` holds a connection right now. Any thread; it takes only the core's own lock.
  bool Holds(const std::string& address) const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvo::net
