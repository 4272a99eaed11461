#include "console/OnlineControl.h"

#include <algorithm>
#include <string>

#include "console/ConsoleRules.h"
#include "console/WindowSupport.h"
#include "net/OrvoServer.h"
#include "service/OnlineView.h"
#include "service/OrvoService.h"

namespace orvo::console {

bool OnlineControl::Serving() const {
  return service_.Running();
}

std::vector<OnlineTexts> OnlineControl::Logins() const {
  std::vector<OnlineTexts> rows;
  if (!Serving()) return rows;
  for (const net::OnlineLogin& online : service_.Server()->OnlineLogins()) {
    const service::OnlineLoginTexts t = service::DescribeLogin(online);
    rows.push_back({Text(t.address), Text(t.group), Text(t.name), Text(t.since),
                    Text(t.lastCommand), Text(t.commands)});
  }
  // By class, then name, in the order the class and student lists use; then by address.
  std::sort(rows.begin(), rows.end(), [](const OnlineTexts& a, const OnlineTexts& b) {
    for (const std::size_t column : {1, 2}) {
      if (const int order = CompareText(a[column], b[column])) return order < 0;
    }
    return a[0] < b[0];
  });
  return rows;
}

std::vector<BlockedTexts> OnlineControl::Blocked() const {
  std::vector<BlockedTexts> rows;
  if (!Serving()) return rows;
  for (const net::BlockedAddress& blocked : service_.Server()->BlockedAddresses()) {
    rows.push_back({Text(blocked.address), Text(service::DescribeTimeLeft(blocked.msLeft))});
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<LimitedTexts> OnlineControl::Limited() const {
  std::vector<LimitedTexts> rows;
  if (!Serving()) return rows;
  for (const net::LimitedAddress& limited : service_.Server()->LimitedAddresses()) {
    const service::LimitedAddressTexts t = service::DescribeLimited(limited);
    rows.push_back({Text(t.address), Text(t.refused), Text(t.timedOut)});
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::size_t OnlineControl::End(const QStringList& addresses) {
  if (!Serving()) return 0;
  std::size_t ended = 0;
  for (const QString& address : addresses) {
    if (service_.Server()->EndLogin(Utf8(address))) ++ended;
  }
  return ended;
}

std::size_t OnlineControl::EndAll() {
  return Serving() ? service_.Server()->EndAllLogins() : 0;
}

std::size_t OnlineControl::Unblock(const QStringList& addresses) {
  if (!Serving()) return 0;
  std::size_t lifted = 0;
  for (const QString& address : addresses) {
    if (service_.Server()->Unblock(Utf8(address))) ++lifted;
  }
  return lifted;
}

}  // namespace orvo::console
