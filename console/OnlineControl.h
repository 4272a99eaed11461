// What the online window shows and does, apart from its widgets: the live logins, blocked
// addresses and addresses the connection limits turned away, of the running server, as rows of
// texts, and the operator's actions on them. The window stays a thin layer of widgets over this.
// Window thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>
#include <vector>

namespace orvo::service {
class OrvoService;
}

namespace orvo::console {

// The texts of a login row: address, class, name, login time, last command, commands so far.
inline constexpr int kOnlineColumns = 6;
using OnlineTexts = std::array<QString, kOnlineColumns>;
// The texts of a blocked address's row: address, time left.
inline constexpr int kBlockedColumns = 2;
using BlockedTexts = std::array<QString, kBlockedColumns>;
// The texts of a limited address's row: address, connections refused, connections timed out.
inline constexpr int kLimitedColumns = 3;
using LimitedTexts = std::array<QString, kLimitedColumns>;

class OnlineControl {
 public:
  explicit OnlineControl(service::OrvoService& service) : service_(service) {}

  // Whether there is a server to ask: false when the service never started or has stopped.
  bool Serving() const;
  // The logins by class, name and address; nothing without a server.
  std::vector<OnlineTexts> Logins() const;
  // The blocked addresses in address order; nothing without a server.
  std::vector<BlockedTexts> Blocked() const;
  // The addresses with refused or timed-out connections in address order; nothing without a
  // server.
  std::vector<LimitedTexts> Limited() const;
  // Ends the logins of `addresses`; how many there were.
  std::size_t End(const QStringList& addresses);
  std::size_t EndAll();
  // Lets `addresses` log in again at once; how many were blocked.
  std::size_t Unblock(const QStringList& addresses);

 private:
  service::OrvoService& service_;
};

}  // namespace orvo::console
