// The account and information commands (LOGIN, CHGPSW, ULIST, GLIST) over the database object,
// behind the server's AccountCommands interface. Called on connection threads; database failures
// propagate and end the connection unanswered. The database, the service state and the clock must
// outlive the server that calls these.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/ServiceState.h"
#include "net/OrvoServer.h"
#include "platform/Clock.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::service {

// The literal line 4 of an accepted LOGIN: the name of the public folder as clients show it.
inline constexpr char kPublicFolderCaption[] = "课堂资源";

class TDiskAccountCommands final : public net::AccountCommands {
 public:
  TDiskAccountCommands(store::TOrvoDiskDb& db, const core::ServiceState& state,
                       const platform::Clock& clock)
      : db_(db), state_(state), clock_(clock) {}

  void DoReqUList(net::Connection& connection, const std::string& param) override;
  void DoReqGList(net::Connection& connection, const std::string& param) override;
  void DoReqLogin(net::Connection& connection, const std::string& param,
                  net::TPeerTable& peers) override;
  void DoReqChgPsw(net::Connection& connection, const std::string& param,
                   const net::LoginRecord* login) override;
  uint32_t LoginLiveMs(const net::LoginRecord& login) override;
  net::LoginAttempt AttemptLogin(const std::string& address, const std::string& group,
                                 const std::string& userId, const std::string& password,
                                 net::TPeerTable& peers) override;
  bool ChangeOwnPassword(const net::LoginRecord& login, const std::string& oldPassword,
                         const std::string& newPassword) override;
  std::optional<std::vector<std::string>> ListedClasses() override;

 private:
  // The gate, throttling and student check of a login; the database's answer beside it for
  // LOGIN's reply.
  net::LoginAttempt Attempt(const std::string& address, const std::string& group,
                            const std::string& userId, const std::string& password,
                            net::TPeerTable& peers, store::LoginResult& result);

  store::TOrvoDiskDb& db_;
  const core::ServiceState& state_;
  const platform::Clock& clock_;
};

// "YYYY-MM-DD HH:NN:SS" with the host's time separator.
std::string FormatServerTime(const platform::LocalDateTime& now);

}  // namespace orvo::service
