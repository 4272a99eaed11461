#include "net/OrvoServer.h"

#include <functional>
#include <optional>
#include <vector>

#include "core/SplitAtFirst.h"
#include "net/ConnectionCore.h"
#include "net/FileCommands.h"
#include "net/Framing.h"
#include "net/LogMasking.h"
#include "net/LoginThrottle.h"
#include "platform/DescriptorLimit.h"
#include "platform/RandomBytes.h"
#include "platform/Socket.h"

namespace orvo::net {
namespace {

// A live login is taken on trust for at most this long before the timetable and the student
// list are asked again, so that changes made elsewhere reach it within this time.
constexpr uint32_t kLoginRecheckMs = 60'000;

// A peer record that holds nothing worth keeping (no login, no block) is forgotten once its
// address has been quiet this long; when there are more than kPeerRecordsKept records (addresses
// made up by the thousand), at the next sweep whatever its age.
constexpr uint32_t kPeerExpiryMs = 10 * 60'000;
constexpr std::size_t kPeerRecordsKept = 10'000;

// Browser sessions one address may hold at once (a PC and a phone behind one router, several
// browsers): a further login ends the address's oldest. And all addresses together.
constexpr std::size_t kWebSessionsPerAddress = 16;
constexpr std::size_t kWebSessionsKept = 10'000;

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
FileRoots FileRootsFor(const LoginRecord& login, const core::ServiceState& state) {
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
  explicit Impl(core::ServiceState& serviceState)
      : state(serviceState),
        connections(
            ConnectionCore::Hooks{
                .connected = [this](const std::string& address) { DoPeerConnect(address); },
                .refused =
                    [this](const std::string& address) {
                      NotePeer(address, [](TOrvoUser& peer) { peer.NoteRefusedConnection(); });
                    },
                .timedOut =
                    [this](const std::string& address) {
                      NotePeer(address, [](TOrvoUser& peer) { peer.NoteTimedOutConnection(); });
                    },
                .serve = [this](Connection& connection) { Serve(connection); },
                .disconnected = [this](const std::string& address) { DoPeerDisconnect(address); },
                .sweep = [this] { ExpirePeers(); }},
            [this] { return Limits(); }) {}
  ~Impl() { Deactivate(); }

  void Activate() {
    descriptorLimit = platform::RaiseDescriptorLimit();
    platform::Listeners bound =
        platform::ListenOnAllAddresses(defaultPort, platform::kMaxListenBacklog);
    std::vector<ConnectionCore::RequestListeners> more;
    boundRequestPort = 0;
    requestProblem.clear();
    if (requestHooks) {
      // The second port is an addition: when it cannot be had, the protocol is served all the
      // same and the owner is told why.
      try {
        platform::Listeners requests =
            platform::ListenOnAllAddresses(requestPort, platform::kMaxListenBacklog);
        boundRequestPort = requests.port;
        more.push_back({std::move(requests), *requestHooks});
      } catch (const std::system_error& e) {
        requestProblem = e.what();
      }
    }
    boundPort = bound.port;
    connections.Start(std::move(bound), std::move(more));
    active = true;
  }

  void Deactivate() {
    if (!active) return;
    connections.Stop();
    active = false;
  }

  std::size_t LiveConnections() const { return connections.LiveConnections(); }

  ConnectionLimits Limits() const {
    if (limitsOverride) return *limitsOverride;
    return ConnectionLimits::FromOptions(state.options, descriptorLimit);
  }

  uint16_t defaultPort = 0;
  uint16_t boundPort = 0;
  uint16_t requestPort = 0;
  uint16_t boundRequestPort = 0;
  std::string requestProblem;  // why the request port is not served, as of the last activation
  std::optional<ConnectionCore::RequestHooks> requestHooks;  // set before activation only
  bool active = false;
  AccountCommands* accounts = nullptr;
  core::ServiceState& state;
  TPeerTable peers;
  TPeerTable webSessions;  // by session token; each record's IP is the browser's address
  std::optional<ConnectionLimits> limitsOverride;  // set before activation only

 public:
  // Forgets addresses that hold nothing worth keeping: no login, no block, and not seen for a
  // while. Without this every address that ever connected would stay in memory.
  void ExpirePeers() {
    const uint32_t tick = clock->TickCount();
    const uint32_t quiet = peers.Count() > kPeerRecordsKept ? 0 : kPeerExpiryMs;
    // An address with a connection keeps its record: the connection's steps rely on it.
    peers.RemoveIf([&](const TOrvoUser& peer) {
      return !peer.LoggedIn() && BlockMsLeft(peer, tick) == 0 && peer.IdleFor(tick) >= quiet &&
             !connections.Holds(peer.IP());
    });
    webSessions.RemoveIf([](const TOrvoUser& session) { return !session.LoggedIn(); });
  }

 private:
  // Creates the address's peer record on its first connection and notes that it was seen.
  void DoPeerConnect(const std::string& address) {
    const uint32_t tick = clock->TickCount();
    if (!peers.With(address, [tick](TOrvoUser& peer) { peer.NoteSeen(tick); })) {
      auto peer = std::make_unique<TOrvoUser>(address);
      peer->NoteSeen(tick);
      peers.Add(address, std::move(peer));
    }
  }

  template <typename Fn>
  void NotePeer(const std::string& address, Fn&& note) {
    DoPeerConnect(address);
    peers.With(address, note);
  }

  // The steps of one connection, in order: DoPeerConnect when it is accepted (on the event loop),
  // then DoPeerExecute once its command line has come, DoPeerException if that fails, and
  // DoPeerDisconnect when it has ended.
  void Serve(Connection& connection) {
    try {
      DoPeerExecute(connection);
    } catch (...) {
      DoPeerException();
    }
  }

  // A failure ends the connection silently; nothing is sent or logged.
  void DoPeerException() {}

  // Counts the address's quiet time from the end of its last connection, not from its start.
  void DoPeerDisconnect(const std::string& address) {
    const uint32_t tick = clock->TickCount();
    peers.With(address, [tick](TOrvoUser& peer) { peer.NoteSeen(tick); });
  }

  void DoPeerExecute(Connection& connection) {
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
    const FileRoots roots = FileRootsFor(*login, state);
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
    return LiveLoginIn(peers, address);
  }

  // The one rule by which a login lives, for an address's login and a browser's session alike.
  std::optional<LoginRecord> LiveLoginIn(TPeerTable& table, const std::string& key) {
    const uint32_t tick = clock->TickCount();
    std::optional<LoginRecord> login;
    bool due = false;
    table.With(key, [&](const TOrvoUser& peer) {
      if (!peer.LoggedIn()) return;
      login = peer.Login();
      due = peer.LiveCheckDue(tick);
    });
    if (!login || !due) return login;
    const uint32_t liveMs = accounts ? accounts->LoginLiveMs(*login) : 0;
    table.With(key, [&](TOrvoUser& peer) {
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

  // Runs `fn` on every address's login and every browser session (with `web` true).
  template <typename Fn>
  void ForEachLogin(Fn&& fn) {
    peers.ForEach([&](const std::string&, TOrvoUser& peer) { fn(peer, false); });
    webSessions.ForEach([&](const std::string&, TOrvoUser& session) { fn(session, true); });
  }

  void AddWebSession(const std::string& token, std::unique_ptr<TOrvoUser> session) {
    const std::string address = session->IP();
    // The address's oldest sessions make room, and so do everyone's once there are too many.
    for (;;) {
      const bool full = webSessions.Count() >= kWebSessionsKept;
      std::size_t held = 0;
      uint64_t oldest = UINT64_MAX;
      std::string oldestToken;
      webSessions.ForEach([&](const std::string& key, const TOrvoUser& other) {
        if (other.IP() != address && !full) return;
        ++held;
        if (other.Login().serial < oldest) {
          oldest = other.Login().serial;
          oldestToken = key;
        }
      });
      if (!full && held < kWebSessionsPerAddress) break;
      webSessions.Remove(oldestToken);
    }
    webSessions.Add(token, std::move(session));
  }

  const platform::Clock* clock = &platform::SystemClock();

 private:
  uint64_t descriptorLimit = 0;  // as raised at activation; 0 where the host has none
  ConnectionCore connections;    // last: it stops before the members its hooks use go
};

LoginAttempt AccountCommands::AttemptLogin(const std::string& /*address*/,
                                           const std::string& /*group*/,
                                           const std::string& /*userId*/,
                                           const std::string& /*password*/, TPeerTable& /*peers*/) {
  return {};
}

bool AccountCommands::ChangeOwnPassword(const LoginRecord& /*login*/,
                                        const std::string& /*oldPassword*/,
                                        const std::string& /*newPassword*/) {
  return false;
}

std::optional<std::vector<std::string>> AccountCommands::ListedClasses() {
  return std::nullopt;
}

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
AccountCommands* TOrvoServer::Accounts() const {
  return impl_->accounts;
}

void TOrvoServer::SetRequestPort(uint16_t port, ConnectionCore::RequestHooks hooks) {
  impl_->requestPort = port;
  impl_->requestHooks = std::move(hooks);
}
uint16_t TOrvoServer::BoundRequestPort() const {
  return impl_->boundRequestPort;
}
const std::string& TOrvoServer::RequestPortProblem() const {
  return impl_->requestProblem;
}

TOrvoServer::WebLoginResult TOrvoServer::WebLogin(const std::string& address,
                                                  const std::string& group,
                                                  const std::string& userId,
                                                  const std::string& password) {
  WebLoginResult result;
  if (impl_->accounts == nullptr) return result;
  result.attempt = impl_->accounts->AttemptLogin(address, group, userId, password, impl_->peers);
  if (result.attempt.refusal != LoginRefusal::None) return result;
  LoginRecord login = result.attempt.login;
  login.csrf = platform::RandomToken();
  const std::string token = platform::RandomToken();
  auto session = std::make_unique<TOrvoUser>(address);
  session->SetLogin(std::move(login));
  session->NoteSeen(impl_->clock->TickCount());
  session->NoteCommand("网页 登录");
  WebSession made{session->Login(), token};
  impl_->AddWebSession(token, std::move(session));
  result.session = std::move(made);
  return result;
}

std::optional<WebSession> TOrvoServer::LiveWebSession(const std::string& token,
                                                      const std::string& request) {
  if (token.empty()) return std::nullopt;
  std::optional<LoginRecord> login = impl_->LiveLoginIn(impl_->webSessions, token);
  if (!login) return std::nullopt;
  const uint32_t tick = impl_->clock->TickCount();
  impl_->webSessions.With(token, [&](TOrvoUser& session) {
    session.NoteSeen(tick);
    session.NoteCommand(core::EscapeControls(request));
  });
  return WebSession{std::move(*login), token};
}

void TOrvoServer::EndWebSession(const std::string& token) {
  impl_->webSessions.Remove(token);
}

FileRoots TOrvoServer::FileRootsOf(const LoginRecord& login) const {
  return FileRootsFor(login, impl_->state);
}
void TOrvoServer::SetClock(const platform::Clock& clock) {
  impl_->clock = &clock;
}
void TOrvoServer::SetLimits(const ConnectionLimits& limits) {
  impl_->limitsOverride = limits;
}
TPeerTable& TOrvoServer::UserDic() {
  return impl_->peers;
}
void TOrvoServer::ExpireQuietPeers() {
  impl_->ExpirePeers();
}

std::vector<OnlineLogin> TOrvoServer::OnlineLogins() {
  // Logins whose lesson is over or whose student is gone end here rather than at their next
  // command, so the operator sees only live ones.
  std::vector<std::string> addresses;
  std::vector<std::string> tokens;
  impl_->peers.ForEach([&](const std::string& address, const TOrvoUser& peer) {
    if (peer.LoggedIn()) addresses.push_back(address);
  });
  impl_->webSessions.ForEach([&](const std::string& token, const TOrvoUser& session) {
    if (session.LoggedIn()) tokens.push_back(token);
  });
  try {
    for (const std::string& address : addresses) impl_->LiveLoginIn(impl_->peers, address);
    for (const std::string& token : tokens) impl_->LiveLoginIn(impl_->webSessions, token);
  } catch (const std::exception&) {
    // The database cannot say now; the logins are shown as they stand.
  }
  std::vector<OnlineLogin> online;
  impl_->ForEachLogin([&](const TOrvoUser& peer, bool web) {
    if (peer.LoggedIn())
      online.push_back({peer.IP(), peer.Login(), peer.LastCommand(), peer.Commands(), web});
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
  // The address's browser sessions end with it: the operator sends the PC offline.
  impl_->webSessions.ForEach([&](const std::string&, TOrvoUser& session) {
    if (session.IP() != address || !session.LoggedIn()) return;
    session.EndLogin();
    ended = true;
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
  impl_->ForEachLogin([](TOrvoUser& peer, bool) { peer.RecheckLive(); });
}

std::size_t TOrvoServer::EndLoginsWhere(const std::function<bool(const LoginRecord&)>& ends) {
  std::size_t ended = 0;
  impl_->ForEachLogin([&](TOrvoUser& peer, bool) {
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
