// Server tests without a database: an account layer under which every login stays live, and a
// login of an address whose student folder is a given folder (the root folder setting becomes
// that folder's grandparent and the class its parent's name, so the fixture's folders stay where
// they are).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "core/ServiceState.h"
#include "net/OrvoServer.h"

namespace orvo::testing {

class KeepLoginsLive final : public net::AccountCommands {
 public:
  void DoReqUList(net::Connection&, const std::string&) override {}
  void DoReqGList(net::Connection&, const std::string&) override {}
  void DoReqLogin(net::Connection&, const std::string&, net::TPeerTable&) override {}
  void DoReqChgPsw(net::Connection&, const std::string&, const net::LoginRecord*) override {}
  uint32_t LoginLiveMs(const net::LoginRecord&) override { return 60'000; }
};

// Gives `address` a live login whose student folder is `studentFolder` (absolute); `settings` are
// those the server was given.
inline void LogInAs(net::TOrvoServer& server, core::SettingsValues& settings,
                    const std::filesystem::path& studentFolder,
                    const std::string& address = "127.0.0.1") {
  const std::filesystem::path folder = studentFolder.lexically_normal();
  settings.RootPath.Set(folder.parent_path().parent_path().string());
  net::LoginRecord login;
  login.group = folder.parent_path().filename().string();
  login.name = folder.filename().string();
  login.rootPath = folder.string();
  server.UserDic().Add(address, std::make_unique<net::TOrvoUser>(address));
  server.UserDic().With(address, [&](net::TOrvoUser& peer) { peer.SetLogin(login); });
}

}  // namespace orvo::testing
