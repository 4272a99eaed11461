// The account and information commands (LOGIN, CHGPSW, ULIST, GLIST) over the database object.
// Called on connection threads; database failures propagate and end the connection unanswered.
// The database and the clock must outlive the server that calls these.
#pragma once

#include <string>

#include "net/OrvoServer.h"
#include "platform/Clock.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::net {

// The literal line 4 of an accepted LOGIN: the name of the public folder as clients show it.
inline constexpr char kPublicFolderCaption[] = "课堂资源";

class TDiskAccountCommands final : public AccountCommands {
 public:
  TDiskAccountCommands(store::TOrvoDiskDb& db, const platform::Clock& clock)
      : db_(db), clock_(clock) {}

  void DoReqUList(Connection& connection, const std::string& param) override;
  void DoReqGList(Connection& connection, const std::string& param) override;
  void DoReqLogin(Connection& connection, const std::string& param, TPeerTable& peers) override;
  void DoReqChgPsw(Connection& connection, const std::string& param,
                   const LoginRecord* login) override;
  uint32_t LoginLiveMs(const LoginRecord& login) override;

 private:
  store::TOrvoDiskDb& db_;
  const platform::Clock& clock_;
};

// "YYYY-MM-DD HH:NN:SS" with the host's time separator.
std::string FormatServerTime(const platform::LocalDateTime& now);

}  // namespace orvo::net
