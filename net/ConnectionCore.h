// ConnectionCore: how the server waits. One event-loop thread accepts connections and reads each
// one's command line; only a connection whose command line has arrived goes to a worker thread,
// which serves it with blocking calls, so an idle connection costs no thread. The workers form a
// pool that grows with concurrent commands up to the limit and shrinks when idle.
// It enforces the connection limits (net/ConnectionLimits.h): the per-address and total caps when a
// connection is accepted, the command-line deadline on the loop, the stall timeout on the workers'
// sockets.
// Started and stopped by one owning thread. The hooks run on the loop thread, except `serve` and
// what follows it (`timedOut` of a stalled transfer, `disconnected`), which run on a worker.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

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

  // `limits` is asked at every accepted connection, so changed options apply to the next one.
  ConnectionCore(Hooks hooks, std::function<ConnectionLimits()> limits);
  ~ConnectionCore();  // stops
  ConnectionCore(const ConnectionCore&) = delete;
  ConnectionCore& operator=(const ConnectionCore&) = delete;

  // Serves the connections of `listeners` (IPv4 first, then IPv6) until Stop().
  void Start(platform::Listeners listeners);
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
