// The texts of the online view (live logins, blocked addresses and the addresses the connection
// limits turned away), made in one place for the console's window and the admin tool alike.
#pragma once

#include <cstdint>
#include <string>

#include "net/OrvoServer.h"

namespace orvo::service {

struct OnlineLoginTexts {
  std::string address;
  std::string group;
  std::string name;         // the student's name
  std::string since;        // when the login was accepted, as LOGIN's reply gives a time
  std::string commands;     // commands sent since the login
  std::string lastCommand;  // as the system log shows it
};

OnlineLoginTexts DescribeLogin(const net::OnlineLogin& online);

struct LimitedAddressTexts {
  std::string address;
  std::string refused;   // connections closed at once by a connection cap
  std::string timedOut;  // connections ended by a timeout
};

LimitedAddressTexts DescribeLimited(const net::LimitedAddress& limited);

// What is left of a block, rounded up to whole seconds: "m:ss".
std::string DescribeTimeLeft(uint32_t ms);

}  // namespace orvo::service
