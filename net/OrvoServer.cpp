#include "net/OrvoServer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include "core/SplitAtFirst.h"
#include "net/FileCommands.h"
#include "net/Framing.h"
#include "net/LogMasking.h"
#include "net/LoginThrottle.h"
#include "net/SocketStream.h"
#include "platform/Socket.h"
#include "platform/Thread.h"

namespace orvo::net {
namespace {

// A whole class connecting at once must not overflow the queue of pending connections: an
// overflow costs the client a one-second SYN retry. (A Windows-era backlog of 15 did.)
constexpr int kListenBacklog = 128;

// Handlers need little stack (their buffers live on the heap); a small reservation lets thousands
// of idle connections stay cheap. Sanitizers inflate frames, so they get more.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr std::size_t kConnectionStackBytes = 8u << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr std::size_t kConnectionStackBytes = 8u << 20;
#else
constexpr std::size_t kConnectionStackBytes = 512u << 10;
#endif
#else
constexpr std::size_t kConnectionStackBytes = 512u << 10;
#endif
constexpr std::size_t kListenerStackBytes = 256u << 10;

// Deactivation re-checks the live connections at this interval while it waits for them to end.
constexpr auto kStopCheckInterval = std::chrono::milliseconds(500);
// A worker thread without a connection waits this long for the next one before it ends.
constexpr auto kIdleWorkerLinger = std::chrono::seconds(10);

// A live login is taken on trust for at most this long before the timetable and the student
// list are asked again, so that changes made elsewhere reach it within this time.
constexpr uint32_t kLoginRecheckMs = 60'000;

// The addresses of the service's own host, which may always fetch the log.
constexpr const char* kOwnHost[] = {"127.0.0.1", "::1"};

// Whether a class or login id can name one level of a folder: nothing that climbs, nothing that
// would split into several levels.
bool IsFolderLevel(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("\\/") == std::string::npos && name.find('\0') == std::string::npos;
}

// The trees a login reaches: its student's own folder under the current root folder, and the
// public folder. A login whose names cannot make a folder reaches the public folder only.
FileRoots RootsOf(const LoginRecord& login, const core::ServiceState& state) {
  const std::string root = state.settings.RootPath.Get();
  std::string own;
  if (!root.empty() && IsFolderLevel(login.group) && IsFolderLevel(login.name)) {
    own = root + '\\' + login.group + '\\' + login.name;
  }
  return {std::move(own), state.settings.PublicPath.Get(), UploadRules::FromOptions(state.options)};
}

bool MaySeeLog(const std::string& address, const core::OptionValues& options) {
  for (const char* own : kOwnHost) {
    if (address == own) return true;
  }
  for (const std::string& allowed : core::OptionItems(options.SysLogHosts.Get())) {
    if (address == allowed) return true;
  }
  return false;
}

// The answer of a file command that is refused: LIST an empty listing, the others nothing.
void AnswerRefused(Connection& connection, const std::string& word) {
  if (word == "LIST") WriteRawBytes(connection, std::string(4, '\0'));
}

bool IsFileCommand(const std::string& word) {
  return word == "LIST" || word == "GET" || word == "PUT" || word == "MKDIR" || word == "DELETE" ||
         word == "MOVE";
}

}  // namespace

class TOrvoServer::Impl {
 public:
  explicit Impl(core::ServiceState& serviceState) : state(serviceState) {}
  ~Impl() { Deactivate(); }

  void Activate() {
    platform::Listeners bound = platform::ListenOnAllAddresses(defaultPort, kListenBacklog);
    boundPort = bound.port;
    wake = std::make_unique<platform::ListenerWake>();
    listeners = std::move(bound.sockets);
    {
      std::lock_guard guard(lock);
      stopping = false;
    }
    for (auto& listener : listeners) {
      listenerThreads.emplace_back([this, &listener] { Listen(listener); }, kListenerStackBytes);
    }
    active = true;
  }

  void Deactivate() {
    if (!active) return;
    wake->Wake();
    listenerThreads.clear();  // joins every listener
    listeners.clear();
    std::list<platform::JoinableThread> ended;
    {
      std::unique_lock guard(lock);
      stopping = true;
      pending.clear();  // accepted but not yet picked up: closed unanswered
      for (SocketStream* stream : live) stream->Abort();
      workAvailable.notify_all();
      while (runningWorkers > 0) workerEnded.wait_for(guard, kStopCheckInterval);
      ended.swap(endedWorkers);
      ended.splice(ended.end(), workers);
    }
    ended.clear();  // joins every worker
    wake.reset();
    active = false;
  }

  std::size_t LiveConnections() const {
    std::lock_guard guard(lock);
    return live.size() + pending.size();
  }

  uint16_t defaultPort = 0;
  uint16_t boundPort = 0;
  bool active = false;
  AccountCommands* accounts = nullptr;
  core::ServiceState& state;
  TPeerTable peers;

 private:
  void Listen(platform::Socket& listener) {
    while (platform::WaitForConnection(listener, *wake)) {
      platform::Accepted accepted = platform::Accept(listener);
      if (!accepted.socket.IsOpen()) {
        // Out of descriptors or the peer gave up: give the system a moment instead of spinning.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      accepted.socket.EnableKeepAlive();
      HandOver(std::move(accepted));
    }
  }

  // Gives the connection to a parked worker, or starts a new one: every live connection has a
  // thread of its own, but threads are reused rather than started anew for each connection.
  void HandOver(platform::Accepted accepted) {
    std::list<platform::JoinableThread> ended;
    {
      std::lock_guard guard(lock);
      ended.swap(endedWorkers);
      pending.push_back(std::move(accepted));
      if (idleWorkers >= pending.size()) {
        workAvailable.notify_one();
      } else {
        try {
          workers.emplace_back();
          auto self = std::prev(workers.end());
          *self = platform::JoinableThread([this, self] { Work(self); }, kConnectionStackBytes);
          ++runningWorkers;
        } catch (const std::system_error&) {
          // No thread to be had: the connection is closed unanswered and the service goes on.
          workers.pop_back();
          pending.pop_back();
        }
      }
    }
    ended.clear();  // joins workers that have already finished, outside the lock
  }

  void Work(std::list<platform::JoinableThread>::iterator self) {
    for (;;) {
      std::optional<SocketStream> stream;
      std::string peerAddress;
      {
        std::unique_lock guard(lock);
        ++idleWorkers;
        workAvailable.wait_for(guard, kIdleWorkerLinger,
                               [this] { return stopping || !pending.empty(); });
        --idleWorkers;
        if (stopping || pending.empty()) {
          // Parked too long, or the service stops: this thread ends and is joined by the next
          // hand-over or by deactivation.
          endedWorkers.splice(endedWorkers.end(), workers, self);
          --runningWorkers;
          workerEnded.notify_all();
          return;
        }
        stream.emplace(std::move(pending.front().socket));
        peerAddress = std::move(pending.front().peerAddress);
        pending.pop_front();
        live.insert(&*stream);
      }
      Serve(*stream, peerAddress);
      std::lock_guard guard(lock);
      live.erase(&*stream);
      stream->Socket().Close();
    }
  }

  void Serve(SocketStream& stream, const std::string& peerAddress) {
    try {
      Connection connection(stream, peerAddress);
      DoPeerConnect(connection);
      DoPeerExecute(connection);
    } catch (...) {
      // DoPeerException: a failure ends the connection silently; nothing is sent or logged.
    }
  }

  void DoPeerConnect(Connection& connection) {
    const std::string& key = connection.PeerAddress();
    if (!peers.Contains(key)) peers.Add(key, std::make_unique<TOrvoUser>(key));
  }

  void DoPeerExecute(Connection& connection) {
    if (!peers.Contains(connection.PeerAddress())) return;
    const std::string line = ReadCommandLine(connection);
    std::string logged = MaskForLog(line);
    state.sysLog.Add(logged);
    peers.With(connection.PeerAddress(),
               [&](TOrvoUser& peer) { peer.NoteCommand(core::EscapeControls(logged)); });
    const core::HeadTail command = core::SplitAtFirst(line, ' ');
    Dispatch(connection, command.head, command.tail);
  }

  void Dispatch(Connection& connection, const std::string& word, const std::string& param) {
    if (IsFileCommand(word)) return DispatchFileCommand(connection, word, param);
    if (word == "ULIST") return accounts ? accounts->DoReqUList(connection, param) : void();
    if (word == "GLIST") return accounts ? accounts->DoReqGList(connection, param) : void();
    if (word == "LOGIN") return accounts ? accounts->DoReqLogin(connection, param, peers) : void();
    if (word == "CHGPSW") {
      if (!accounts) return;
      const std::optional<LoginRecord> login = LiveLogin(connection.PeerAddress());
      return accounts->DoReqChgPsw(connection, param, login ? &*login : nullptr);
    }
    if (word == "GETSYSLOG") return DoReqGetSysLog(connection);
  }

  // The one access check of the file commands: only an address with a live login, and only
  // inside its student's folder and the public folder.
  void DispatchFileCommand(Connection& connection, const std::string& word,
                           const std::string& param) {
    const std::optional<LoginRecord> login = LiveLogin(connection.PeerAddress());
    if (!login) return AnswerRefused(connection, word);
    const FileRoots roots = RootsOf(*login, state);
    if (word == "LIST") return DoReqList(connection, param, roots);
    if (word == "GET") return DoreqGet(connection, param, roots);
    if (word == "PUT") return DoreqPut(connection, param, roots);
    if (word == "MKDIR") return DoreqMKDir(connection, param, roots);
    if (word == "DELETE") return DoreqDelete(connection, param, roots);
    if (word == "MOVE") return DoReqMove(connection, param, roots);
  }

  void DoReqGetSysLog(Connection& connection) {
    std::string buffer;
    // Everyone's classes, login ids and file names: for the service's host and the addresses
    // the operator named only.
    if (MaySeeLog(connection.PeerAddress(), state.options)) {
      state.sysLog.Savetostream(buffer);  // copied under the log's lock, sent after release
    }
    SendCountedBlock(connection, buffer);
  }

 public:
  // The address's login when it is live; asks the account layer again when the last answer is
  // due, and ends the login when that says so. The peer table's lock is never held while the
  // account layer runs.
  std::optional<LoginRecord> LiveLogin(const std::string& address) {
    const uint32_t tick = clock->TickCount();
    std::optional<LoginRecord> login;
    bool due = false;
    peers.With(address, [&](const TOrvoUser& peer) {
      if (!peer.LoggedIn()) return;
      login = peer.Login();
      due = peer.LiveCheckDue(tick);
    });
    if (!login || !due) return login;
    const uint32_t liveMs = accounts ? accounts->LoginLiveMs(*login) : 0;
    peers.With(address, [&](TOrvoUser& peer) {
      // A login made or ended meanwhile is not this one's to judge.
      if (!peer.LoggedIn() || peer.Login().serial != login->serial) return;
      if (liveMs == 0) {
        peer.EndLogin();
      } else {
        peer.SetLiveFor(tick, std::min(liveMs, kLoginRecheckMs));
      }
    });
    if (liveMs == 0) return std::nullopt;
    return login;
  }

  // Runs `fn` on every peer record holding the table's lock.
  template <typename Fn>
  void ForEachPeer(Fn&& fn) {
    peers.ForEach([&](const std::string&, TOrvoUser& peer) { fn(peer); });
  }

  const platform::Clock* clock = &platform::SystemClock();

 private:
  std::unique_ptr<platform::ListenerWake> wake;
  std::vector<platform::Socket> listeners;
  std::vector<platform::JoinableThread> listenerThreads;

  mutable std::mutex lock;  // guards everything below
  std::condition_variable workAvailable;
  std::condition_variable workerEnded;
  bool stopping = false;
  std::deque<platform::Accepted> pending;            // accepted, waiting for a worker
  std::unordered_set<SocketStream*> live;            // being served; aborted when the service stops
  std::list<platform::JoinableThread> workers;       // running worker threads
  std::list<platform::JoinableThread> endedWorkers;  // finished, waiting to be joined
  std::size_t idleWorkers = 0;
  std::size_t runningWorkers = 0;
};

TOrvoServer::TOrvoServer(core::ServiceState& state) : impl_(std::make_unique<Impl>(state)) {}
TOrvoServer::~TOrvoServer() = default;

void TOrvoServer::SetDefaultPort(uint16_t port) {
  impl_->defaultPort = port;
}
uint16_t TOrvoServer::DefaultPort() const {
  return impl_->defaultPort;
}
uint16_t TOrvoServer::BoundPort() const {
  return impl_->boundPort;
}

void TOrvoServer::SetActive(bool active) {
  if (active == impl_->active) return;
  if (active) {
    impl_->Activate();
  } else {
    impl_->Deactivate();
  }
}

bool TOrvoServer::Active() const {
  return impl_->active;
}
void TOrvoServer::SetAccountCommands(AccountCommands* accounts) {
  impl_->accounts = accounts;
}
void TOrvoServer::SetClock(const platform::Clock& clock) {
  impl_->clock = &clock;
}
TPeerTable& TOrvoServer::UserDic() {
  return impl_->peers;
}

std::vector<OnlineLogin> TOrvoServer::OnlineLogins() {
  // Logins whose lesson is over or whose student is gone end here rather than at their next
  // command, so the operator sees only live ones.
  std::vector<std::string> addresses;
  impl_->ForEachPeer([&](const TOrvoUser& peer) {
    if (peer.LoggedIn()) addresses.push_back(peer.IP());
  });
  for (const std::string& address : addresses) {
    try {
      impl_->LiveLogin(address);
    } catch (const std::exception&) {
      // The database cannot say now; the login is shown as it stands.
    }
  }
  std::vector<OnlineLogin> online;
  impl_->ForEachPeer([&](const TOrvoUser& peer) {
    if (peer.LoggedIn())
      online.push_back({peer.IP(), peer.Login(), peer.LastCommand(), peer.Commands()});
  });
  return online;
}

std::vector<BlockedAddress> TOrvoServer::BlockedAddresses() {
  const uint32_t tick = impl_->clock->TickCount();
  std::vector<BlockedAddress> blocked;
  impl_->ForEachPeer([&](const TOrvoUser& peer) {
    if (const uint32_t left = BlockMsLeft(peer, tick)) blocked.push_back({peer.IP(), left});
  });
  return blocked;
}

std::vector<LimitedAddress> TOrvoServer::LimitedAddresses() {
  std::vector<LimitedAddress> limited;
  impl_->ForEachPeer([&](const TOrvoUser& peer) {
    if (peer.RefusedConnections() > 0 || peer.TimedOutConnections() > 0) {
      limited.push_back({peer.IP(), peer.RefusedConnections(), peer.TimedOutConnections()});
    }
  });
  return limited;
}

bool TOrvoServer::EndLogin(const std::string& address) {
  bool ended = false;
  impl_->peers.With(address, [&](TOrvoUser& peer) {
    ended = peer.LoggedIn();
    peer.EndLogin();
  });
  return ended;
}

std::size_t TOrvoServer::EndAllLogins() {
  return EndLoginsWhere([](const LoginRecord&) { return true; });
}

std::size_t TOrvoServer::EndLoginsOf(const std::string& group, const std::string& userId) {
  return EndLoginsWhere([&](const LoginRecord& login) {
    return login.group == group && (userId.empty() || login.name == userId);
  });
}

bool TOrvoServer::Unblock(const std::string& address) {
  bool wasBlocked = false;
  impl_->peers.With(address, [&](TOrvoUser& peer) {
    wasBlocked = BlockMsLeft(peer, impl_->clock->TickCount()) > 0;
    peer.Unblock();
  });
  return wasBlocked;
}

void TOrvoServer::RecheckLogins() {
  impl_->ForEachPeer([](TOrvoUser& peer) { peer.RecheckLive(); });
}

std::size_t TOrvoServer::EndLoginsWhere(const std::function<bool(const LoginRecord&)>& ends) {
  std::size_t ended = 0;
  impl_->ForEachPeer([&](TOrvoUser& peer) {
    if (peer.LoggedIn() && ends(peer.Login())) {
      peer.EndLogin();
      ++ended;
    }
  });
  return ended;
}
std::size_t TOrvoServer::LiveConnections() const {
  return impl_->LiveConnections();
}

}  // namespace orvo::net
