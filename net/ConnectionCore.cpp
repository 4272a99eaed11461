#include "net/ConnectionCore.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "net/Framing.h"
#include "net/SocketStream.h"
#include "platform/SocketAddress.h"
#include "platform/Thread.h"

namespace orvo::net {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using ErrorCode = boost::system::error_code;

// Handlers need little stack (their buffers live on the heap). Sanitizers inflate frames, so
// they get more.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kWorkerStackBytes = 8u << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr std::size_t kWorkerStackBytes = 8u << 20;
#else
constexpr std::size_t kWorkerStackBytes = 512u << 10;
#endif
#else
constexpr std::size_t kWorkerStackBytes = 512u << 10;
#endif
constexpr std::size_t kLoopStackBytes = kWorkerStackBytes;

// Stopping re-checks the running workers at this interval while it waits for them to end.
constexpr auto kStopCheckInterval = std::chrono::milliseconds(500);
// A worker without a connection waits this long for the next one before it ends.
constexpr auto kIdleWorkerLinger = std::chrono::seconds(10);
// After an accept failed for want of descriptors or memory, the listener rests this long rather
// than spinning on the connection it cannot take.
constexpr auto kAcceptRetry = std::chrono::milliseconds(50);
// How often the sweep hook runs.
constexpr auto kSweepInterval = std::chrono::seconds(30);

constexpr std::string_view kLineEnd = "\r\n";

std::string PeerAddressOf(const tcp::socket& socket) {
  ErrorCode error;
  const tcp::endpoint peer = socket.remote_endpoint(error);
  if (error) return {};
  sockaddr_storage address{};
  std::memcpy(&address, peer.data(), std::min<std::size_t>(peer.size(), sizeof address));
  return platform::AddressText(address);
}

}  // namespace

class ConnectionCore::Impl {
 public:
  Impl(Hooks hooksIn, std::function<ConnectionLimits()> limitsIn)
      : hooks(std::move(hooksIn)), limits(std::move(limitsIn)) {}

  void Start(platform::Listeners listeners, std::vector<RequestListeners> more) {
    io.emplace();
    try {
      sweepTimer.emplace(*io);
      kinds.clear();
      const Kind& commands = kinds.emplace_back(CommandKind());
      Listen(listeners, commands);
      for (RequestListeners& group : more) {
        Listen(group.listeners, kinds.emplace_back(Kind{std::move(group.hooks), true}));
      }
      {
        std::lock_guard guard(lock);
        stopping = false;
        loopClosing = false;
      }
      for (Listener& listener : acceptors) AcceptNext(listener);
      ScheduleSweep();
      loop = platform::JoinableThread([this] { io->run(); }, kLoopStackBytes);
    } catch (...) {
      // Nothing runs yet: whatever was made is dropped, the listeners closed with it.
      acceptors.clear();
      sweepTimer.reset();
      io.reset();
      throw;
    }
    started = true;
  }

  void Stop() {
    if (!started) return;
    {
      // From here on a worker closes a kept-alive connection itself rather than posting it back
      // to a loop that may have ended.
      std::lock_guard guard(lock);
      loopClosing = true;
    }
    // The loop closes its own objects: nothing of it is touched from another thread.
    asio::post(*io, [this] {
      for (Listener& listener : acceptors) {
        ErrorCode ignored;
        listener.retry.cancel();
        listener.acceptor.close(ignored);
      }
      sweepTimer->cancel();
      for (const auto& waiting : waitingLines) CloseWaiting(*waiting);
      waitingLines.clear();
      // With nothing left to wait for, the loop runs the cancelled handlers and returns.
    });
    loop.Join();
    std::list<platform::JoinableThread> ended;
    {
      std::unique_lock guard(lock);
      stopping = true;
      for (const Ready& ready : queued) ReleaseSlotLocked(ready.peerAddress);
      queued.clear();  // command line read, no worker yet: closed unanswered
      for (SocketStream* stream : served) stream->Abort();
      workAvailable.notify_all();
      while (runningWorkers > 0) workerEnded.wait_for(guard, kStopCheckInterval);
      ended.swap(endedWorkers);
      ended.splice(ended.end(), workers);
    }
    ended.clear();  // joins every worker
    acceptors.clear();
    sweepTimer.reset();
    io.reset();
    started = false;
  }

  std::size_t LiveConnections() const {
    std::lock_guard guard(lock);
    return total;
  }

  bool Holds(const std::string& address) const {
    std::lock_guard guard(lock);
    return perAddress.contains(address);
  }

 private:
  // What the listeners of one kind of connection wait for and how it is served.
  struct Kind {
    RequestHooks hooks;
    bool keepsAlive = false;
  };

  // The protocol's kind: one command line, one command, then the connection closes.
  Kind CommandKind() const {
    return {RequestHooks{.ready =
                             [](std::string_view input) {
                               return input.find(kLineEnd) != std::string_view::npos;
                             },
                         .maxWaitingBytes = kMaxCommandLineBytes + kLineEnd.size(),
                         .serve =
                             [this](Connection& connection) {
                               hooks.serve(connection);
                               return false;
                             }},
            false};
  }

  struct Listener {
    Listener(asio::io_context& context, const Kind& kindIn)
        : acceptor(context), retry(context), kind(kindIn) {}
    tcp::acceptor acceptor;
    asio::steady_timer retry;
    const Kind& kind;
  };

  void Listen(platform::Listeners& listeners, const Kind& kind) {
    for (std::size_t i = 0; i < listeners.sockets.size(); ++i) {
      auto& listener = acceptors.emplace_back(*io, kind);
      const tcp protocol = i == 0 ? tcp::v4() : tcp::v6();
      listener.acceptor.assign(protocol, listeners.sockets[i].Release());
      listener.acceptor.non_blocking(true);
    }
  }

  // A connection whose command line has not arrived yet. Loop thread only.
  struct WaitingLine {
    WaitingLine(tcp::socket s, std::string address, const ConnectionLimits& limitsAtAccept,
                const Kind& kindIn)
        : socket(std::move(s)),
          peerAddress(std::move(address)),
          limits(limitsAtAccept),
          kind(kindIn),
          deadline(socket.get_executor()) {}
    tcp::socket socket;
    std::string peerAddress;
    ConnectionLimits limits;  // as they were when it was accepted: one reading per connection
    const Kind& kind;
    std::string input;
    std::shared_ptr<void> state;  // kept from the previous request of the connection
    bool between = false;         // kept alive after a request, waiting for the next
    asio::steady_timer deadline;
    bool over = false;  // closed or handed over; a late handler does nothing
  };
  using WaitingPtr = std::shared_ptr<WaitingLine>;

  // A connection whose command line has arrived, waiting for a worker.
  // The socket stays the loop's object (Windows cannot take a socket back from the loop's
  // completion port); the worker borrows its handle for blocking calls and gives it back before
  // the loop's object closes it.
  struct Ready {
    std::unique_ptr<tcp::socket> socket;
    std::string peerAddress;
    std::string input;
    const Kind* kind = nullptr;
    std::shared_ptr<void> state;
  };

  // --- loop thread ---

  void AcceptNext(Listener& listener) {
    listener.acceptor.async_accept([this, &listener](const ErrorCode& error, tcp::socket socket) {
      if (error == asio::error::operation_aborted || !listener.acceptor.is_open()) return;
      if (error) return RestThenAccept(listener);
      Admit(std::move(socket), listener.kind);
      // Everything that queued up meanwhile is taken now, so the queue never overflows while
      // the loop was busy elsewhere.
      for (;;) {
        ErrorCode next;
        tcp::socket more(*io);
        listener.acceptor.accept(more, next);
        if (next == asio::error::would_block || next == asio::error::try_again) break;
        if (next) return RestThenAccept(listener);
        Admit(std::move(more), listener.kind);
      }
      AcceptNext(listener);
    });
  }

  void RestThenAccept(Listener& listener) {
    listener.retry.expires_after(kAcceptRetry);
    listener.retry.async_wait([this, &listener](const ErrorCode& error) {
      if (!error) AcceptNext(listener);
    });
  }

  void Admit(tcp::socket socket, const Kind& kind) {
    const std::string address = PeerAddressOf(socket);
    if (address.empty()) return;  // gone already
    const ConnectionLimits now = limits();
    if (!TakeSlot(address, now)) {
      // Counted before the close, so whoever sees the close also sees the count.
      hooks.refused(address);
      ErrorCode ignored;
      socket.close(ignored);
      return;
    }
    ErrorCode error;
    socket.non_blocking(true, error);
    if (error) return ReleaseSlot(address);
    hooks.connected(address);
    Await(std::make_shared<WaitingLine>(std::move(socket), address, now, kind));
  }

  // Waits for the connection's next request, for at most the command-line time.
  void Await(const WaitingPtr& waiting) {
    waitingLines.insert(waiting);
    if (waiting->limits.commandLine.count() > 0) {
      waiting->deadline.expires_after(waiting->limits.commandLine);
      waiting->deadline.async_wait([this, waiting](const ErrorCode& timerError) {
        if (timerError || waiting->over) return;
        // A kept-alive connection that merely stays quiet is closed without a mark against its
        // address; one that started a request and stalled is not.
        if (!waiting->between || !waiting->input.empty()) hooks.timedOut(waiting->peerAddress);
        Drop(waiting);
      });
    }
    // A client usually sends its line right behind the handshake: read before waiting.
    ReadAvailable(waiting);
  }

  // A kept-alive connection back from its worker (loop thread).
  void AwaitNext(Ready kept) {
    // Posted before Stop() closes the loop's connections (see Work), so it is closed with them.
    ErrorCode error;
    kept.socket->non_blocking(true, error);
    if (error) {
      ErrorCode ignored;
      kept.socket->close(ignored);
      Disconnected(kept.peerAddress);
      return ReleaseSlot(kept.peerAddress);
    }
    auto waiting = std::make_shared<WaitingLine>(std::move(*kept.socket), kept.peerAddress,
                                                 limits(), *kept.kind);
    waiting->input = std::move(kept.input);
    waiting->state = std::move(kept.state);
    waiting->between = true;
    if (waiting->kind.hooks.ready(waiting->input)) {
      waiting->over = true;
      return HandOver(waiting);
    }
    Await(waiting);
  }

  void AwaitInput(const WaitingPtr& waiting) {
    waiting->socket.async_wait(tcp::socket::wait_read, [this, waiting](const ErrorCode& error) {
      if (waiting->over) return;
      if (error) return Drop(waiting);
      ReadAvailable(waiting);
    });
  }

  // Takes what has arrived; hands the connection over once its request can be served, or once it
  // is longer than any may be (the worker then refuses it).
  void ReadAvailable(const WaitingPtr& waiting) {
    std::string& input = waiting->input;
    const RequestHooks& kind = waiting->kind.hooks;
    for (;;) {
      const std::size_t room = kind.maxWaitingBytes - std::min(kind.maxWaitingBytes, input.size());
      ErrorCode error;
      const std::size_t n = waiting->socket.read_some(
          asio::buffer(scratch.data(), std::min(room, scratch.size())), error);
      if (error == asio::error::would_block || error == asio::error::try_again) {
        return AwaitInput(waiting);
      }
      if (error || n == 0) return Drop(waiting);  // closed before the end of its request
      input.append(scratch.data(), n);
      if (kind.ready(input) || input.size() >= kind.maxWaitingBytes) return HandOver(waiting);
    }
  }

  void Drop(const WaitingPtr& waiting) {
    CloseWaiting(*waiting);
    waitingLines.erase(waiting);
  }

  void CloseWaiting(WaitingLine& waiting) {
    if (waiting.over) return;
    waiting.over = true;
    waiting.deadline.cancel();
    ErrorCode ignored;
    waiting.socket.close(ignored);
    // Announced before the slot goes, so whoever sees the count drop sees the end announced.
    Disconnected(waiting.peerAddress);
    ReleaseSlot(waiting.peerAddress);
  }

  void Disconnected(const std::string& address) {
    try {
      hooks.disconnected(address);
    } catch (...) {
      // House-keeping is not worth the loop or a worker.
    }
  }

  void HandOver(const WaitingPtr& waiting) {
    waiting->over = true;
    waiting->deadline.cancel();
    waitingLines.erase(waiting);
    Ready ready{std::make_unique<tcp::socket>(std::move(waiting->socket)),
                std::move(waiting->peerAddress), std::move(waiting->input), &waiting->kind,
                std::move(waiting->state)};
    platform::Socket borrowed(ready.socket->native_handle());
    bool prepared = true;
    try {
      borrowed.SetBlocking(true);
      borrowed.SetStallTimeout(waiting->limits.transferStall);
      borrowed.EnableKeepAlive();
    } catch (const std::system_error&) {
      prepared = false;
    }
    borrowed.Release();
    if (!prepared) {
      ready.socket.reset();
      Disconnected(ready.peerAddress);
      return ReleaseSlot(ready.peerAddress);
    }
    Queue(std::move(ready), waiting->limits.workers);
  }

  void ScheduleSweep() {
    sweepTimer->expires_after(kSweepInterval);
    sweepTimer->async_wait([this](const ErrorCode& error) {
      if (error) return;
      hooks.sweep();
      ScheduleSweep();
    });
  }

  // --- connection counts, any thread ---

  bool TakeSlot(const std::string& address, const ConnectionLimits& now) {
    std::lock_guard guard(lock);
    if (total >= now.total) return false;
    std::size_t& held = perAddress[address];
    if (now.perAddress > 0 && held >= now.perAddress) return false;
    ++held;
    ++total;
    return true;
  }

  void ReleaseSlot(const std::string& address) {
    std::lock_guard guard(lock);
    ReleaseSlotLocked(address);
  }

  void ReleaseSlotLocked(const std::string& address) {
    const auto it = perAddress.find(address);
    if (it == perAddress.end()) return;
    if (--it->second == 0) perAddress.erase(it);
    --total;
  }

  // --- workers ---

  // Gives the connection to a parked worker, or starts a new one while the pool is below its
  // limit; otherwise it waits for the next worker to come free.
  void Queue(Ready ready, std::size_t maxWorkers) {
    std::list<platform::JoinableThread> ended;
    {
      std::lock_guard guard(lock);
      ended.swap(endedWorkers);
      queued.push_back(std::move(ready));
      if (idleWorkers >= queued.size() || runningWorkers >= maxWorkers) {
        workAvailable.notify_one();
      } else {
        try {
          workers.emplace_back();
          auto self = std::prev(workers.end());
          *self = platform::JoinableThread([this, self] { Work(self); }, kWorkerStackBytes);
          ++runningWorkers;
        } catch (const std::system_error&) {
          // No thread to be had now: the connection waits for a running worker, or, with none,
          // is closed unanswered.
          workers.pop_back();
          if (runningWorkers == 0) {
            ReleaseSlotLocked(queued.back().peerAddress);
            queued.pop_back();
          }
        }
      }
    }
    ended.clear();  // joins workers that have already finished, outside the lock
  }

  void Work(std::list<platform::JoinableThread>::iterator self) {
    for (;;) {
      std::unique_ptr<tcp::socket> owner;
      std::unique_ptr<SocketStream> stream;
      Ready taken;
      {
        std::unique_lock guard(lock);
        ++idleWorkers;
        workAvailable.wait_for(guard, kIdleWorkerLinger,
                               [this] { return stopping || !queued.empty(); });
        --idleWorkers;
        if (stopping || queued.empty()) {
          // Parked too long, or the service stops: this thread ends and is joined by the next
          // hand-over or by Stop().
          endedWorkers.splice(endedWorkers.end(), workers, self);
          --runningWorkers;
          workerEnded.notify_all();
          return;
        }
        Ready& ready = queued.front();
        // Registered under the same lock that took it from the queue, so Stop() either clears it
        // from the queue or aborts it here: never neither.
        taken = std::move(ready);
        owner = std::move(taken.socket);
        stream = std::make_unique<SocketStream>(platform::Socket(owner->native_handle()));
        queued.pop_front();
        served.insert(stream.get());
      }
      const bool keep = Serve(*stream, taken);
      bool kept = false;
      {
        std::lock_guard guard(lock);
        served.erase(stream.get());  // from now on Stop() has no reason to touch it
        // The borrowed handle goes back before its owner moves or closes it.
        stream->Socket().Release();
        if (keep && !loopClosing) {
          // Posted under the lock that Stop() takes before closing the loop, so the loop runs
          // this before it closes everything and ends.
          taken.socket = std::move(owner);
          asio::post(*io, [this, back = std::make_shared<Ready>(std::move(taken))] {
            AwaitNext(std::move(*back));
          });
          kept = true;
        }
      }
      stream.reset();
      if (kept) continue;
      owner.reset();
      Disconnected(taken.peerAddress);
      ReleaseSlot(taken.peerAddress);
    }
  }

  // Serves the connection's request; whether it is to be kept for the next one.
  bool Serve(SocketStream& stream, Ready& ready) {
    bool keep = false;
    try {
      Connection connection(stream, ready.peerAddress);
      connection.Input() = std::move(ready.input);
      connection.State() = std::move(ready.state);
      keep = ready.kind->hooks.serve(connection) && ready.kind->keepsAlive;
      ready.input = std::move(connection.Input());
      ready.state = std::move(connection.State());
    } catch (...) {
      // A failure ends the connection silently; nothing is sent or logged.
      keep = false;
    }
    if (stream.TimedOut()) {
      keep = false;
      try {
        hooks.timedOut(ready.peerAddress);
      } catch (...) {
        // Counting is not worth a worker.
      }
    }
    return keep;
  }

  Hooks hooks;
  std::function<ConnectionLimits()> limits;
  bool started = false;

  // The loop's objects: built and destroyed by the owning thread while the loop is not running,
  // used by the loop thread only in between.
  std::optional<asio::io_context> io;
  std::list<Kind> kinds;  // before the listeners that refer to them
  std::list<Listener> acceptors;
  std::optional<asio::steady_timer> sweepTimer;
  std::unordered_set<WaitingPtr> waitingLines;
  std::array<char, 16384> scratch{};  // every read of a command line lands here first
  platform::JoinableThread loop;

  mutable std::mutex lock;  // guards everything below
  std::condition_variable workAvailable;
  std::condition_variable workerEnded;
  bool stopping = false;
  bool loopClosing = false;  // Stop() has begun closing the loop's connections
  std::unordered_map<std::string, std::size_t> perAddress;  // connections held, by address
  std::size_t total = 0;
  std::deque<Ready> queued;                          // command line read, waiting for a worker
  std::unordered_set<SocketStream*> served;          // aborted when the service stops
  std::list<platform::JoinableThread> workers;       // running worker threads
  std::list<platform::JoinableThread> endedWorkers;  // finished, waiting to be joined
  std::size_t idleWorkers = 0;
  std::size_t runningWorkers = 0;
};

ConnectionCore::ConnectionCore(Hooks hooks, std::function<ConnectionLimits()> limits)
    : impl_(std::make_unique<Impl>(std::move(hooks), std::move(limits))) {}

ConnectionCore::~ConnectionCore() {
  impl_->Stop();
}

void ConnectionCore::Start(platform::Listeners listeners, std::vector<RequestListeners> more) {
  impl_->Start(std::move(listeners), std::move(more));
}

void ConnectionCore::Stop() {
  impl_->Stop();
}

std::size_t ConnectionCore::LiveConnections() const {
  return impl_->LiveConnections();
}

bool ConnectionCore::Holds(const std::string& address) const {
  return impl_->Holds(address);
}

}  // namespace orvo::net
