#include "service/DiskAccountCommands.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/SplitAtFirst.h"
#include "net/Framing.h"
#include "net/LoginThrottle.h"
#include "platform/Collation.h"
#include "platform/Regional.h"

namespace orvo::service {
namespace {

using net::Connection;
using net::LoginRecord;
using net::SendTextList;
using net::TOrvoUser;
using net::TPeerTable;

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

net::LoginAttempt TDiskAccountCommands::Attempt(const std::string& address,
                                                const std::string& group, const std::string& userId,
                                                const std::string& password, TPeerTable& peers,
                                                store::LoginResult& result) {
  const uint32_t tick = clock_.TickCount();
  net::LoginAttempt attempt;
  bool allowed = true;
  peers.With(address, [&](TOrvoUser& peer) {
    allowed = net::LoginAllowed(peer, tick);
    attempt.blockedMs = net::BlockMsLeft(peer, tick);
  });
  // A blocked address is refused without asking the database.
  if (!allowed) {
    attempt.refusal = net::LoginRefusal::Blocked;
    return attempt;
  }
  result = db_.CheckLogin(group, userId, password);
  if (result.accepted) {
    attempt.refusal = net::LoginRefusal::None;
    attempt.login.id = result.userRowId;
    attempt.login.group = group;
    attempt.login.name = userId;
    attempt.login.userName = result.userName;
    attempt.login.rootPath = state_.settings.RootPath.Get() + '\\' + group + '\\' + userId;
    attempt.login.time = clock_.Now();
  } else if (result.classAdmitted) {
    // Only a wrong login id or password counts as a guess: a class trying before its lesson
    // learns nothing and is not blocked for it.
    attempt.refusal = net::LoginRefusal::WrongPassword;
    const net::ThrottleRules rules = net::ThrottleRules::FromOptions(state_.options);
    peers.With(address, [&](TOrvoUser& peer) {
      net::NoteRefusedLogin(peer, tick, rules);
      attempt.blockedMs = net::BlockMsLeft(peer, tick);
    });
  } else {
    attempt.refusal = net::LoginRefusal::NotLessonTime;
  }
  return attempt;
}

net::LoginAttempt TDiskAccountCommands::AttemptLogin(const std::string& address,
                                                     const std::string& group,
                                                     const std::string& userId,
                                                     const std::string& password,
                                                     TPeerTable& peers) {
  store::LoginResult result;
  return Attempt(address, group, userId, password, peers, result);
}

void TDiskAccountCommands::DoReqLogin(Connection& connection, const std::string& param,
                                      TPeerTable& peers) {
  const Credentials login = SplitCredentials(param);
  store::LoginResult result;
  net::LoginAttempt attempt =
      Attempt(connection.PeerAddress(), login.group, login.userId, login.password, peers, result);
  std::vector<std::string> lines;
  if (attempt.refusal == net::LoginRefusal::None) {
    lines = {attempt.login.rootPath, state_.settings.PublicPath.Get(), attempt.login.userName,
             kPublicFolderCaption,   FormatServerTime(clock_.Now()),   result.currDataHost,
             result.currDataPort};
    peers.With(connection.PeerAddress(),
               [&](TOrvoUser& peer) { peer.SetLogin(std::move(attempt.login)); });
  }
  SendTextList(connection, lines);
}

bool TDiskAccountCommands::ChangeOwnPassword(const LoginRecord& login,
                                             const std::string& oldPassword,
                                             const std::string& newPassword) {
  if (newPassword.empty()) return false;
  if (!db_.CheckLogin(login.group, login.name, oldPassword).accepted) return false;
  return db_.ChangePSW(login.group, login.name, newPassword);
}

std::optional<std::vector<std::string>> TDiskAccountCommands::ListedClasses() {
  if (state_.settings.UserList.load() != 1) return std::nullopt;
  std::vector<std::string> classes;
  db_.GroupListAdmin(classes);
  std::sort(classes.begin(), classes.end(), platform::NameOrder());
  return classes;
}

void TDiskAccountCommands::DoReqChgPsw(Connection& /*connection*/, const std::string& param,
                                       const LoginRecord* login) {
  const Credentials change = SplitCredentials(param);
  // Only the student whose login is live at this address may set a password, never an empty
  // one (which would let anyone in without one); the command has no reply either way.
  if (login == nullptr || change.password.empty()) return;
  if (login->group == change.group && login->name == change.userId) {
    db_.ChangePSW(change.group, change.userId, change.password);
  }
}

uint32_t TDiskAccountCommands::LoginLiveMs(const LoginRecord& login) {
  if (!db_.StudentEnrolled(login.id, login.group, login.name)) return 0;
  const uint64_t graceMs = uint64_t{state_.options.LoginGraceMinutes.load()} * 60'000;
  return db_.LoginLiveMs(login.group, static_cast<uint32_t>(std::min<uint64_t>(graceMs, 1u << 30)));
}

void TDiskAccountCommands::DoReqUList(Connection& connection, const std::string& param) {
  std::vector<std::string> lines;
  if (state_.settings.GroupList.load() == 1) db_.UserList(param, lines);
  // The students' PCs show the list as it comes: in the order the console lists names.
  std::sort(lines.begin(), lines.end(), platform::NameOrder());
  SendTextList(connection, lines);
}

void TDiskAccountCommands::DoReqGList(Connection& connection, const std::string& /*param*/) {
  SendTextList(connection, ListedClasses().value_or(std::vector<std::string>{}));
}

}  // namespace orvo::service
