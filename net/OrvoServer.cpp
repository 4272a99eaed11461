#include "net/OrvoServer.h"

#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/SettingsValues.h"
#include "core/SplitAtFirst.h"
#include "core/SysStringS.h"
#include "net/FileCommands.h"
#include "net/Framing.h"
#include "net/LogMasking.h"
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

FileRoots CurrentRoots() { return {core::Settings().RootPath.Get(), core::Settings().PublicPath.Get()}; }

}  // namespace

class TOrvoServer::Impl {
 public:
  ~Impl() { Deactivate(); }

  void Activate() {
    platform::Listeners bound = platform::ListenOnAllAddresses(defaultPort, kListenBacklog);
    boundPort = bound.port;
    wake = std::make_unique<platform::WakePipe>();
    listeners = std::move(bound.sockets);
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
    std::list<std::unique_ptr<Slot>> finished;
    {
      std::unique_lock guard(connLock);
      for (auto& slot : slots) {
        if (!slot->done) slot->stream.Abort();
      }
      while (!AllDone()) connDone.wait_for(guard, kStopCheckInterval);
      finished.swap(slots);
    }
    finished.clear();  // joins every connection thread
    wake.reset();
    active = false;
  }

  std::size_t LiveConnections() const {
    std::lock_guard guard(connLock);
    std::size_t live = 0;
    for (const auto& slot : slots) live += slot->done ? 0 : 1;
    return live;
  }

  uint16_t defaultPort = 0;
  uint16_t boundPort = 0;
  bool active = false;
  AccountCommands* accounts = nullptr;
  TPeerTable peers;

 private:
  struct Slot {
    Slot(platform::Socket socket, std::string peer) : stream(std::move(socket)), peerAddress(std::move(peer)) {}
    SocketStream stream;
    std::string peerAddress;
    platform::JoinableThread thread;
    bool done = false;  // guarded by connLock, set when the thread has closed its socket
  };

  bool AllDone() const {  // expects connLock held
    for (const auto& slot : slots) {
      if (!slot->done) return false;
    }
    return true;
  }

  void Listen(platform::Socket& listener) {
    while (platform::WaitForConnection(listener, wake->ReadFd())) {
      platform::Accepted accepted = platform::Accept(listener);
      if (!accepted.socket.IsOpen()) {
        // Out of descriptors or the peer gave up: give the system a moment instead of spinning.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      StartConnection(std::move(accepted));
    }
  }

  void StartConnection(platform::Accepted accepted) {
    accepted.socket.EnableKeepAlive();
    std::list<std::unique_ptr<Slot>> finished;
    {
      std::lock_guard guard(connLock);
      for (auto it = slots.begin(); it != slots.end();) {
        if ((*it)->done) {
          auto next = std::next(it);
          finished.splice(finished.end(), slots, it);
          it = next;
        } else {
          ++it;
        }
      }
      auto slot = std::make_unique<Slot>(std::move(accepted.socket), std::move(accepted.peerAddress));
      Slot* raw = slot.get();
      try {
        raw->thread = platform::JoinableThread([this, raw] { Serve(*raw); }, kConnectionStackBytes);
        slots.push_back(std::move(slot));
      } catch (const std::system_error&) {
        // No thread to be had: the connection is closed unanswered and the service goes on.
      }
    }
    finished.clear();  // joins threads that have already ended, outside the lock
  }

  void Serve(Slot& slot) {
    try {
      Connection connection(slot.stream, slot.peerAddress);
      DoPeerConnect(connection);
      DoPeerExecute(connection);
    } catch (...) {
      // DoPeerException: a failure ends the connection silently; nothing is sent or logged.
    }
    std::lock_guard guard(connLock);
    slot.stream.Socket().Close();
    slot.done = true;
    connDone.notify_all();
  }

  void DoPeerConnect(Connection& connection) {
    const std::string& key = connection.PeerAddress();
    if (!peers.Get(key)) peers.Add(key, std::make_unique<TOrvoUser>(key));
  }

  void DoPeerExecute(Connection& connection) {
    if (!peers.Get(connection.PeerAddress())) return;
    const std::string line = ReadCommandLine(connection);
    core::SysLog().Add(MaskForLog(line));
    const core::HeadTail command = core::SplitAtFirst(line, ' ');
    Dispatch(connection, command.head, command.tail);
  }

  void Dispatch(Connection& connection, const std::string& word, const std::string& param) {
    if (word == "LIST") return DoReqList(connection, param, CurrentRoots());
    if (word == "GET") return DoreqGet(connection, param, CurrentRoots());
    if (word == "PUT") return DoreqPut(connection, param, CurrentRoots());
    if (word == "MKDIR") return DoreqMKDir(connection, param, CurrentRoots());
    if (word == "DELETE") return DoreqDelete(connection, param, CurrentRoots());
    if (word == "MOVE") return DoReqMove(connection, param, CurrentRoots());
    if (word == "ULIST") return accounts ? accounts->DoReqUList(connection, param) : void();
    if (word == "GLIST") return accounts ? accounts->DoReqGList(connection, param) : void();
    if (word == "LOGIN") return accounts ? accounts->DoReqLogin(connection, param, peers) : void();
    if (word == "CHGPSW") return accounts ? accounts->DoReqChgPsw(connection, param, peers) : void();
    if (word == "GETSYSLOG") return DoReqGetSysLog(connection);
  }

  static void DoReqGetSysLog(Connection& connection) {
    std::string buffer;
    core::SysLog().Savetostream(buffer);  // copied under the log's lock, sent after it is released
    SendCountedBlock(connection, buffer);
  }

  std::unique_ptr<platform::WakePipe> wake;
  std::vector<platform::Socket> listeners;
  std::vector<platform::JoinableThread> listenerThreads;
  mutable std::mutex connLock;
  std::condition_variable connDone;
  std::list<std::unique_ptr<Slot>> slots;  // guarded by connLock
};

TOrvoServer::TOrvoServer() : impl_(std::make_unique<Impl>()) {}
TOrvoServer::~TOrvoServer() = default;

void TOrvoServer::SetDefaultPort(uint16_t port) { impl_->defaultPort = port; }
uint16_t TOrvoServer::DefaultPort() const { return impl_->defaultPort; }
uint16_t TOrvoServer::BoundPort() const { return impl_->boundPort; }

void TOrvoServer::SetActive(bool active) {
  if (active == impl_->active) return;
  if (active) {
    impl_->Activate();
  } else {
    impl_->Deactivate();
  }
}

bool TOrvoServer::Active() const { return impl_->active; }
void TOrvoServer::SetAccountCommands(AccountCommands* accounts) { impl_->accounts = accounts; }
TPeerTable& TOrvoServer::UserDic() { return impl_->peers; }
std::size_t TOrvoServer::LiveConnections() const { return impl_->LiveConnections(); }

}  // namespace orvo::net
