#include "service/OnlineView.h"

#include <cstdio>

#include "service/DiskAccountCommands.h"

namespace orvo::service {

OnlineLoginTexts DescribeLogin(const net::OnlineLogin& online) {
  return {online.address,
          online.login.group,
          online.login.userName,
          FormatServerTime(online.login.time),
          std::to_string(online.commands),
          online.lastCommand};
}

LimitedAddressTexts DescribeLimited(const net::LimitedAddress& limited) {
  return {limited.address, std::to_string(limited.refused), std::to_string(limited.timedOut)};
}

std::string DescribeTimeLeft(uint32_t ms) {
  const uint32_t seconds = ms / 1000 + (ms % 1000 != 0 ? 1 : 0);
  char text[16];
  std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
  return text;
}

}  // namespace orvo::service
