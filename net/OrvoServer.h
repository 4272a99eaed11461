// TOrvoServer: the service's TCP server. It listens on all IPv4 and (where the host has it) all
// IPv6 addresses, runs every accepted connection on its own thread, registers the client address in
// the peer table, reads one command line, logs it (passwords masked), dispatches it by its command
// word and closes the connection.
// Created, activated, deactivated and destroyed by one owning thread; the handlers run on
// connection threads. Deactivation closes live connections and waits for every thread it started.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/ThreadSafeDic.h"
#include "net/Connection.h"

namespace orvo::net {

// The peer record: one per client IP address seen since the server was created.
class TOrvoUser {
 public:
  explicit TOrvoUser(std::string clientIp) : FIP(std::move(clientIp)) {}

  const std::string& IP() const { return FIP; }
  uint32_t ID() const { return FID; }
  const std::string& Group() const { return FGroup; }
  const std::string& Name() const { return FName; }
  const std::string& RootPath() const { return FRootPath; }

  // LOGIN records the class and login id that last logged in successfully from this address, and
  // CHGPSW changes only that student's password. Called holding the peer table's lock (With).
  void SetGroup(std::string group) { FGroup = std::move(group); }
  void SetName(std::string name) { FName = std::move(name); }

 private:
  std::string FIP;
  uint32_t FID = 0;
  std::string FGroup;
  std::string FName;
  std::string FRootPath;
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
  virtual void DoReqChgPsw(Connection& connection, const std::string& param, TPeerTable& peers) = 0;
};

class TOrvoServer {
 public:
  // The service port the console and the headless service use.
  static constexpr uint16_t kServicePort = 18783;

  TOrvoServer();
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

  TPeerTable& UserDic();
  // Connections being served right now.
  std::size_t LiveConnections() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace orvo::net
