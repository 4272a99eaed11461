// The control channel: how the admin tool reaches a service running on the same database folder,
// with no network port. On Linux it is a Unix domain socket in the folder that only its owner may
// use; on Windows a named pipe whose name is made from the folder. One request line per
// connection; the reply is lines of text closed by an end marker (ControlFraming.h).
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvo::platform {

// The control socket's file name in the database folder.
inline constexpr char kControlSocketName[] = "orvo-serverd.sock";

class ControlChannelError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Nothing serves the channel of the folder: no service runs on it.
class NoControlService : public ControlChannelError {
 public:
  using ControlChannelError::ControlChannelError;
};

// A live service serves the channel of the folder already.
class ControlChannelTaken : public ControlChannelError {
 public:
  using ControlChannelError::ControlChannelError;
};

// Where the channel of `directory` is: the socket's path on Linux, the pipe's name on Windows.
std::string ControlEndpoint(const std::string& directory);

// Serves the channel of one folder on a thread of its own, one connection at a time.
class ControlListener {
 public:
  // Answers one request line (without its line end) with the reply's lines. Runs on the
  // listener's thread; a raised failure closes the connection without a complete reply.
  using Handler = std::function<std::vector<std::string>(const std::string& request)>;

  // Makes the endpoint and starts serving it. A socket left by a service that ended without
  // removing it (nothing listens on it) is replaced; anything else in its place is left alone.
  // Raises ControlChannelTaken when a live service answers there, ControlChannelError naming the
  // endpoint when it cannot be made.
  ControlListener(const std::string& directory, Handler handler);
  // Stops the thread at once (a request being served is cut short) and removes the endpoint.
  ~ControlListener();
  ControlListener(const ControlListener&) = delete;
  ControlListener& operator=(const ControlListener&) = delete;

  const std::string& Endpoint() const;

  struct State;  // each host's side

 private:
  std::unique_ptr<State> state_;
};

// Sends `request` (one line, no line end) to the service of `directory` and returns its reply
// lines. Raises NoControlService when nothing serves there, ControlChannelError on any other
// failure, including a reply that is not complete within `timeoutMs`.
std::vector<std::string> ControlRequest(const std::string& directory, const std::string& request,
                                        int timeoutMs = 10'000);

}  // namespace orvo::platform
