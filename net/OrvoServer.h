// TOrvoServer: the service's TCP server. It listens on all IPv4 and (where the host has it) all
// IPv6 addresses, registers each client address in the peer table, waits for the command line on
// its event loop (net/ConnectionCore.h), then on a worker thread logs the line (passwords masked),
// dispatches it by its command word and closes the connection.
// Created, activated, deactivated and destroyed by one owning thread. Deactivation closes live
// connections and waits for every thread it started.
// The settings, options and system log it serves by are its owner's (core/ServiceState.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ServiceState.h"
#include "core/ThreadSafeDic.h"
#include "net/Connection.h"
#include "net/ConnectionCore.h"
#include "net/ConnectionLimits.h"
#include "net/FileCommands.h"
#include "platform/Clock.h"

namespace orvo::net {

// The login an address holds: set by an accepted LOGIN, ended by the next LOGIN from the address,
// by the operator, by the deletion of the student or class, or when the class's lesson has been
// over for the grace time.
struct LoginRecord {
  int32_t id = 0;                // the Users row
  std::string group;             // class
  std::string name;              // login id
  std::string userName;          // the student's name as LOGIN's reply gives it
  std::string rootPath;          // the student's folder, as line 1 of LOGIN's reply gives it
  platform::LocalDateTime time;  // when the login was accepted
  uint64_t serial = 0;           // tells one login from a later one of the same address
  // A browser's login only: the token its requests that change something must carry.
  std::string csrf;
};

// Why a login was refused, for those who can say it (the browser portal); the protocol's LOGIN
// answers every refusal alike.
enum class LoginRefusal {
  None,
  WrongPassword,  // no such student in the class, or a wrong password
  NotLessonTime,  // the timetable does not let the class in now
  Blocked,        // the address guessed too often; see blockedMs
};

struct LoginAttempt {
  LoginRefusal refusal = LoginRefusal::WrongPassword;
  LoginRecord login;       // when accepted
  uint32_t blockedMs = 0;  // what is left of the address's block
};

// The peer record: one per client IP address seen lately (a record without login or block is
// forgotten after a quiet while). Every member is read and written holding the peer table's lock
// (TPeerTable::With).
class TOrvoUser {
 public:
  explicit TOrvoUser(std::string clientIp) : FIP(std::move(clientIp)) {}

  const std::string& IP() const { return FIP; }
  uint32_t ID() const { return static_cast<uint32_t>(FLogin.id); }
  const std::string& Group() const { return FLogin.group; }
  const std::string& Name() const { return FLogin.name; }
  const std::string& RootPath() const { return FLogin.rootPath; }

  bool LoggedIn() const { return FLoggedIn; }
  const LoginRecord& Login() const { return FLogin; }
  // Records an accepted LOGIN, replacing any earlier login of this address.
  void SetLogin(LoginRecord login);
  void EndLogin();

  // The login counts as live without asking the timetable until this tick (modulo 2^32).
  bool LiveCheckDue(uint32_t tick) const;
  void SetLiveFor(uint32_t tick, uint32_t ms);
  // Makes the next file command ask the timetable and the student list again.
  void RecheckLive() { FLiveChecked = false; }

  // When the address last connected, and for how long it has been quiet since (ms at `tick`).
  void NoteSeen(uint32_t tick) { FLastSeen = tick; }
  uint32_t IdleFor(uint32_t tick) const { return tick - FLastSeen; }

  // What this address last asked for (as logged) and how many commands it sent while logged in.
  const std::string& LastCommand() const { return FLastCommand; }
  uint64_t Commands() const { return FCommands; }
  void NoteCommand(std::string line);

  // Login throttling: the ticks of recent refused LOGINs, and the end of a block.
  std::vector<uint32_t>& RefusedLogins() { return FRefusedLogins; }
  bool Blocked() const { return FBlocked; }
  uint32_t BlockedUntil() const { return FBlockedUntil; }
  void Block(uint32_t untilTick) {
    FBlocked = true;
    FBlockedUntil = untilTick;
  }
  void Unblock() {
    FBlocked = false;
    FRefusedLogins.clear();
  }

  // What the connection limits did to this address: connections closed at once because it (or
  // the whole service) already held as many as allowed, and connections ended because a command
  // line or a transfer did not come in time.
  uint64_t RefusedConnections() const { return FRefusedConnections; }
  uint64_t TimedOutConnections() const { return FTimedOutConnections; }
  void NoteRefusedConnection() { ++FRefusedConnections; }
  void NoteTimedOutConnection() { ++FTimedOutConnections; }

 private:
  std::string FIP;
  bool FLoggedIn = false;
  LoginRecord FLogin;
  bool FLiveChecked = false;
  uint32_t FLiveUntil = 0;
  std::string FLastCommand;
  uint64_t FCommands = 0;
  std::vector<uint32_t> FRefusedLogins;
  bool FBlocked = false;
  uint32_t FBlockedUntil = 0;
  uint32_t FLastSeen = 0;
  uint64_t FRefusedConnections = 0;
  uint64_t FTimedOutConnections = 0;
};

using TPeerTable = core::TThreadSafeDic<std::string, TOrvoUser>;

// The account and information commands, supplied by the layer that owns the database.
// Called on connection threads; each call may raise, which ends the connection silently.
class AccountCommands {
 public:
  virtual ~AccountCommands() = default;
  virtual void DoReqUList(Connection& connection, const std::string& param) = 0;
  virtual void DoReqGList(Connection& connection, const std::string& param) = 0;
  virtual void DoReqLogin(Connection& connection, const std::string& param, TPeerTable& peers) = 0;
  // `login` is the requesting address's live login, or nullptr when it has none.
  virtual void DoReqChgPsw(Connection& connection, const std::string& param,
                           const LoginRecord* login) = 0;
  // How many milliseconds from now `login` stays live; 0 ends it.
  virtual uint32_t LoginLiveMs(const LoginRecord& login) = 0;

  // The gate, the throttling and the student list exactly as LOGIN meets them, for a login from
  // `address` that is not the address's protocol login (a browser's session). The default
  // refuses.
  virtual LoginAttempt AttemptLogin(const std::string& address, const std::string& group,
                                    const std::string& userId, const std::string& password,
                                    TPeerTable& peers);
  // Sets a new password for `login`'s student when `oldPassword` is the current one; never an
  // empty one. The default refuses.
  virtual bool ChangeOwnPassword(const LoginRecord& login, const std::string& oldPassword,
                                 const std::string& newPassword);
  // The classes a login page may offer, as GLIST gives them; nullopt when the service does not
  // list them. The default lists none.
  virtual std::optional<std::vector<std::string>> ListedClasses();
};

// One row of the online view.
struct OnlineLogin {
  std::string address;
  LoginRecord login;
  std::string lastCommand;
  uint64_t commands = 0;
  bool web = false;  // a browser's session rather than the address's protocol login
};

// A browser's live session, as its requests find it.
struct WebSession {
  LoginRecord login;
  std::string token;
};

// An address whose LOGINs are refused for now.
struct BlockedAddress {
  std::string address;
  uint32_t msLeft = 0;
};

// An address that the connection limits turned away or cut off, with how often.
struct LimitedAddress {
  std::string address;
  uint64_t refused = 0;   // connections closed at once, over the per-address or the total cap
  uint64_t timedOut = 0;  // connections ended for a command line or transfer that did not come
};

class TOrvoServer {
 public:
  // The service port the console and the headless service use.
  static constexpr uint16_t kServicePort = 18783;

  // `state` must outlive the server.
  explicit TOrvoServer(core::ServiceState& state);
  ~TOrvoServer();
  TOrvoServer(const TOrvoServer&) = delete;
  TOrvoServer& operator=(const TOrvoServer&) = delete;

  void SetDefaultPort(uint16_t port);
  uint16_t DefaultPort() const;
  // Port 0 picks a free port; BoundPort() tells which one after activation.
  uint16_t BoundPort() const;

  // Activation binds and listens (raising std::system_error naming the port when it cannot);
  // deactivation stops listening, closes live connections and waits for their threads.
  void SetActive(bool active);
  bool Active() const;

  // Handlers of the account commands; without them those words are ignored like unknown ones.
  // Set before activation.
  void SetAccountCommands(AccountCommands* accounts);

  // A second port served on the same event loop and workers, for connections that carry one
  // request after another (the browser portal). Set before activation; port 0 picks a free one.
  // When it cannot be bound, activation serves the protocol alone and RequestPortProblem() says
  // why (empty otherwise); BoundRequestPort() is then 0.
  void SetRequestPort(uint16_t port, ConnectionCore::RequestHooks hooks);
  uint16_t BoundRequestPort() const;
  const std::string& RequestPortProblem() const;

  // --- browser sessions: logins by cookie rather than by address, under the same rules ---
  // Tries a login for a browser at `address`; on acceptance a session is made (its login's
  // `csrf` set). Raises what the account layer raises.
  struct WebLoginResult {
    LoginAttempt attempt;
    std::optional<WebSession> session;
  };
  WebLoginResult WebLogin(const std::string& address, const std::string& group,
                          const std::string& userId, const std::string& password);
  // The session of `token` while its login lives (asked of the account layer as a command's
  // login is), noting `request` for the online view; nullopt for an unknown, ended or expired
  // token.
  std::optional<WebSession> LiveWebSession(const std::string& token, const std::string& request);
  void EndWebSession(const std::string& token);
  AccountCommands* Accounts() const;

  // The trees `login` may reach and the upload limits there: the one place the file commands
  // and the portal take them from.
  FileRoots FileRootsOf(const LoginRecord& login) const;

  // The clock that login times, lifetimes and throttling follow (default: the system clock). Set
  // before activation; it must outlive the server.
  void SetClock(const platform::Clock& clock);

  // Fixed connection limits in place of those the options give (tests shorten the timeouts).
  // Set before activation.
  void SetLimits(const ConnectionLimits& limits);

  TPeerTable& UserDic();
  // Forgets the peer records that hold nothing worth keeping (the event loop does this now and
  // then by itself).
  void ExpireQuietPeers();

  // --- the online view: live logins and blocked addresses, for the operator ---
  // Checks each login's life first (as its next command would), so ended ones are not listed.
  std::vector<OnlineLogin> OnlineLogins();
  std::vector<BlockedAddress> BlockedAddresses();
  // Addresses with refused or timed-out connections, as long as their peer records are kept.
  std::vector<LimitedAddress> LimitedAddresses();
  // Ends the login of `address`; false when it had none.
  bool EndLogin(const std::string& address);
  // Ends every login (the end of a lesson); how many ended.
  std::size_t EndAllLogins();
  // Ends the logins of a class's students (of one student when `userId` is given).
  std::size_t EndLoginsOf(const std::string& group, const std::string& userId = {});
  // Lets `address` log in again at once; false when it was not blocked.
  bool Unblock(const std::string& address);
  // Makes every login ask the timetable and the student list again at its next file command
  // (after the timetable, the students or the options changed outside this process).
  void RecheckLogins();
  // Connections held right now: waiting for their command line, queued or being served.
  std::size_t LiveConnections() const;

 private:
  std::size_t EndLoginsWhere(const std::function<bool(const LoginRecord&)>& ends);

  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvo::net
