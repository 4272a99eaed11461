#include "net/AccountCommands.h"

#include <cstdio>
#include <vector>

#include "core/SettingsValues.h"
#include "core/SplitAtFirst.h"
#include "net/Framing.h"
#include "platform/Regional.h"

namespace orvo::net {
namespace {

struct Credentials {
  std::string group;
  std::string userId;
  std::string password;  // everything after the second blank, blanks included
};

Credentials SplitCredentials(const std::string& param) {
  const core::HeadTail group = core::SplitAtFirst(param, ' ');
  const core::HeadTail user = core::SplitAtFirst(group.tail, ' ');
  return {group.head, user.head, user.tail};
}

}  // namespace

std::string FormatServerTime(const platform::LocalDateTime& now) {
  const std::string& sep = platform::HostRegional().timeSeparator;
  char date[16];
  char hour[4], minute[4], second[4];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", now.year, now.month, now.day);
  std::snprintf(hour, sizeof hour, "%02d", now.hour);
  std::snprintf(minute, sizeof minute, "%02d", now.minute);
  std::snprintf(second, sizeof second, "%02d", now.second);
  return std::string(date) + ' ' + hour + sep + minute + sep + second;
}

void TDiskAccountCommands::DoReqLogin(Connection& connection, const std::string& param,
                                      TPeerTable& peers) {
  const Credentials login = SplitCredentials(param);
  const store::LoginResult result = db_.CheckLogin(login.group, login.userId, login.password);
  std::vector<std::string> lines;
  if (result.accepted) {
    lines = {core::Settings().RootPath.Get() + '\\' + login.group + '\\' + login.userId,
             core::Settings().PublicPath.Get(),
             result.userName,
             kPublicFolderCaption,
             FormatServerTime(clock_.Now()),
             result.currDataHost,
             result.currDataPort};
    peers.With(connection.PeerAddress(), [&](TOrvoUser& peer) {
      peer.SetGroup(login.group);
      peer.SetName(login.userId);
    });
  }
  SendTextList(connection, lines);
}

void TDiskAccountCommands::DoReqChgPsw(Connection& connection, const std::string& param,
                                       TPeerTable& peers) {
  const Credentials change = SplitCredentials(param);
  bool loggedIn = false;
  peers.With(connection.PeerAddress(), [&](const TOrvoUser& peer) {
    loggedIn = !peer.Name().empty() && peer.Group() == change.group && peer.Name() == change.userId;
  });
  // Only the student who last logged in from this address may set a password; the command has no
  // reply either way.
  if (loggedIn) db_.ChangePSW(change.group, change.userId, change.password);
}

void TDiskAccountCommands::DoReqUList(Connection& connection, const std::string& param) {
  std::vector<std::string> lines;
  if (core::Settings().GroupList.load() == 1) db_.UserList(param, lines);
  SendTextList(connection, lines);
}

void TDiskAccountCommands::DoReqGList(Connection& connection, const std::string& /*param*/) {
  std::vector<std::string> lines;
  if (core::Settings().UserList.load() == 1) db_.GroupListAdmin(lines);
  SendTextList(connection, lines);
}

}  // namespace orvo::net
