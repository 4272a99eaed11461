// The control channel on Linux: a Unix domain socket in the database folder, mode 0600, served by
// one thread that waits in poll() on the socket and a wake pipe, so that it ends at once when the
// listener is destroyed. Peers of another user (other than root) are turned away even where the
// file's mode would let them in.
#include "platform/ControlChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "platform/ControlFraming.h"
#include "platform/Utf8Path.h"

namespace orvo::platform {
namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

// How long one connection may take to send its request, and to take its reply.
constexpr std::chrono::seconds kConnectionLimit{5};
// How long the thread rests after a failed accept (no descriptors left, say) before it tries again.
constexpr int kAcceptRetryMs = 100;

std::string ErrnoText(int error = errno) {
  return std::strerror(error);
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

Fd NewSocket(bool nonBlocking) {
  Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0));
  if (!fd.Valid()) throw ControlChannelError("cannot make a control socket: " + ErrnoText());
  return fd;
}

// The socket address of `path`. sun_path holds about a hundred bytes; a longer path is reached
// through the folder's descriptor under /proc/self/fd, which this object keeps open meanwhile.
class UnixAddress {
 public:
  explicit UnixAddress(const std::string& path) {
    std::string name = path;
    if (name.size() >= sizeof address_.sun_path) {
      const std::size_t slash = path.rfind('/');
      const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
      folder_ = Fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
      if (!folder_.Valid()) {
        openError_ = errno;
        return;
      }
      name = "/proc/self/fd/" + std::to_string(folder_.Get()) + "/" + path.substr(slash + 1);
      if (name.size() >= sizeof address_.sun_path) {
        openError_ = ENAMETOOLONG;
        return;
      }
    }
    address_.sun_family = AF_UNIX;
    std::memcpy(address_.sun_path, name.data(), name.size());
    size_ = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + 1);
  }

  // connect() or bind() on this address; -1 with errno set when it fails.
  int Connect(int fd) const { return openError_ ? Failed() : ::connect(fd, Get(), size_); }
  int Bind(int fd) const { return openError_ ? Failed() : ::bind(fd, Get(), size_); }

 private:
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&address_); }
  int Failed() const {
    errno = openError_;
    return -1;
  }

  sockaddr_un address_{};
  socklen_t size_ = 0;
  Fd folder_;
  int openError_ = 0;
};

enum class Wait { Ready, Stop, Timeout };

// Waits until `fd` is ready for `events`, the wake pipe `wake` is readable (stop), or `deadline`
// passes (none: wait as long as it takes).
Wait WaitFor(int fd, short events, int wake, std::optional<SteadyTime> deadline) {
  for (;;) {
    int timeoutMs = -1;
    if (deadline) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          *deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return Wait::Timeout;
      timeoutMs = static_cast<int>(left.count());
    }
    pollfd watched[2] = {{wake, POLLIN, 0}, {fd, events, 0}};
    const int n = ::poll(watched, fd >= 0 ? 2 : 1, timeoutMs);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Wait::Stop;  // cannot wait any more: treat as a stop rather than spin
    if (watched[0].revents != 0) return Wait::Stop;
    if (n > 0) return Wait::Ready;
  }
}

bool PeerIsOwner(int fd) {
#ifdef SO_PEERCRED
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return false;
  return peer.uid == ::geteuid() || peer.uid == 0;
#else
  (void)fd;
  return true;  // the socket's mode is the guard
#endif
}

std::optional<std::pair<dev_t, ino_t>> FileIdentity(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
  return std::make_pair(status.st_dev, status.st_ino);
}

// Removes a socket that a service left behind, after making sure that nothing listens on it.
void ClearStaleSocket(const std::string& path, const std::string& directory) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) return;
    throw ControlChannelError("cannot use " + path + ": " + ErrnoText());
  }
  if (!S_ISSOCK(status.st_mode)) {
    throw ControlChannelError(path + " is not a socket; it is in the way of the control socket");
  }
  const Fd probe = NewSocket(false);
  const UnixAddress address(path);
  const int error = address.Connect(probe.Get()) == 0 ? 0 : errno;
  if (error == 0 || error == EAGAIN) {
    throw ControlChannelTaken("a service is running on " + directory + " already (it answers at " +
                              path + ")");
  }
  if (error != ECONNREFUSED) {
    throw ControlChannelError("cannot check " + path + ": " + ErrnoText(error));
  }
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    throw ControlChannelError("cannot remove the stale " + path + ": " + ErrnoText());
  }
}

// Removes the half-made socket and reports why it could not be made.
[[noreturn]] void Abandon(const std::string& endpoint, const std::string& what) {
  const std::string message = what + " " + endpoint + ": " + ErrnoText();
  ::unlink(endpoint.c_str());
  throw ControlChannelError(message);
}

}  // namespace

struct ControlListener::State {
  std::string endpoint;
  Handler handler;
  Fd listening;
  Fd wakeRead;
  Fd wakeWrite;
  std::pair<dev_t, ino_t> identity{};
  std::thread thread;

  void Run() {
    for (;;) {
      if (WaitFor(listening.Get(), POLLIN, wakeRead.Get(), std::nullopt) != Wait::Ready) return;
      Fd connection(::accept4(listening.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
      if (!connection.Valid()) {
        if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED) continue;
        const auto rest =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kAcceptRetryMs);
        if (WaitFor(-1, 0, wakeRead.Get(), rest) == Wait::Stop) return;
        continue;
      }
      if (PeerIsOwner(connection.Get())) Serve(connection.Get());
    }
  }

  void Serve(int connection) {
    std::string received;
    std::optional<std::string> request;
    auto deadline = std::chrono::steady_clock::now() + kConnectionLimit;
    while (!(request = ControlRequestLine(received))) {
      if (received.size() > kMaxControlRequest) return;
      if (WaitFor(connection, POLLIN, wakeRead.Get(), deadline) != Wait::Ready) return;
      char chunk[1024];
      const ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) return;
      received.append(chunk, static_cast<std::size_t>(n));
    }
    if (request->size() > kMaxControlRequest) return;
    std::string reply;
    try {
      reply = EncodeControlReply(handler(*request));
    } catch (const std::exception&) {
      return;
    }
    deadline = std::chrono::steady_clock::now() + kConnectionLimit;
    for (std::size_t sent = 0; sent < reply.size();) {
      if (WaitFor(connection, POLLOUT, wakeRead.Get(), deadline) != Wait::Ready) return;
      const ssize_t n = ::send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }
};

std::string ControlEndpoint(const std::string& directory) {
  return JoinPath(directory, kControlSocketName);
}

ControlListener::ControlListener(const std::string& directory, Handler handler)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.endpoint = ControlEndpoint(directory);
  s.handler = std::move(handler);
  ClearStaleSocket(s.endpoint, directory);

  s.listening = NewSocket(true);
  const UnixAddress address(s.endpoint);
  if (address.Bind(s.listening.Get()) != 0) {
    if (errno == EADDRINUSE) {
      throw ControlChannelTaken("a service is running on " + directory + " already (" + s.endpoint +
                                " was made meanwhile)");
    }
    throw ControlChannelError("cannot make " + s.endpoint + ": " + ErrnoText());
  }
  // Nobody can connect before listen(), so the owner-only mode is in place before anyone could.
  if (::chmod(s.endpoint.c_str(), S_IRUSR | S_IWUSR) != 0) Abandon(s.endpoint, "cannot restrict");
  const auto identity = FileIdentity(s.endpoint);
  if (!identity) Abandon(s.endpoint, "cannot find");
  s.identity = *identity;
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
    Abandon(s.endpoint, "cannot make a wake pipe for");
  s.wakeRead = Fd(wake[0]);
  s.wakeWrite = Fd(wake[1]);
  if (::listen(s.listening.Get(), 8) != 0) Abandon(s.endpoint, "cannot listen on");
  try {
    s.thread = std::thread([&s] { s.Run(); });
  } catch (const std::system_error& e) {
    ::unlink(s.endpoint.c_str());
    throw ControlChannelError("cannot start the thread serving " + s.endpoint + ": " + e.what());
  }
}

ControlListener::~ControlListener() {
  State& s = *state_;
  const char stop = 's';
  [[maybe_unused]] const ssize_t written = ::write(s.wakeWrite.Get(), &stop, 1);
  if (s.thread.joinable()) s.thread.join();
  // Only our own socket goes: a later service may have replaced it meanwhile.
  if (FileIdentity(s.endpoint) == s.identity) ::unlink(s.endpoint.c_str());
}

const std::string& ControlListener::Endpoint() const {
  return state_->endpoint;
}

std::vector<std::string> ControlRequest(const std::string& directory, const std::string& request,
                                        int timeoutMs) {
  if (request.find_first_of("\r\n") != std::string::npos) {
    throw ControlChannelError("a control request is one line");
  }
  const std::string path = ControlEndpoint(directory);
  const Fd fd = NewSocket(false);
  const UnixAddress address(path);
  if (address.Connect(fd.Get()) != 0) {
    if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR) {
      throw NoControlService("no service is running on " + directory + " (nothing answers at " +
                             path + ")");
    }
    throw ControlChannelError("cannot reach the service on " + directory + " at " + path + ": " +
                              ErrnoText());
  }
  timeval limit{};
  limit.tv_sec = timeoutMs / 1000;
  limit.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  const std::string line = request + "\n";
  const std::string broken = "the service on " + directory + " broke off the control connection";
  for (std::size_t sent = 0; sent < line.size();) {
    const ssize_t n = ::send(fd.Get(), line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw ControlChannelError(broken + ": " + ErrnoText());
    sent += static_cast<std::size_t>(n);
  }
  ControlReplyReader reader;
  while (!reader.Complete()) {
    char chunk[4096];
    const ssize_t n = ::recv(fd.Get(), chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      throw ControlChannelError("the service on " + directory + " did not answer in time");
    }
    if (n < 0) throw ControlChannelError(broken + ": " + ErrnoText());
    if (n == 0) throw ControlChannelError(broken + " before its reply was complete");
    reader.Feed(std::string_view(chunk, static_cast<std::size_t>(n)));
  }
  return reader.Lines();
}

}  // namespace orvo::platform
