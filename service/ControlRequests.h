// The requests that the admin tool sends to a running service over the control channel, and their
// answers: the online view, ending logins, lifting blocks, reloading what is saved in the
// database. A reply's first line is "OK" or "ERROR <why>"; the lines after it are its data.
#pragma once

#include <string>
#include <vector>

#include "service/OnlineView.h"

namespace orvo::service {

class OrvoService;

inline constexpr char kOnlineRequest[] = "ONLINE";
inline constexpr char kKickRequest[] = "KICK";  // KICK <address>
inline constexpr char kKickAllRequest[] = "KICKALL";
inline constexpr char kUnblockRequest[] = "UNBLOCK";  // UNBLOCK <address>
inline constexpr char kReloadRequest[] = "RELOAD";

// The reply to one request line. Raises nothing: a failure is answered as an "ERROR" reply.
std::vector<std::string> AnswerControlRequest(OrvoService& service, const std::string& request);

struct ControlReply {
  bool ok = false;
  std::string error;               // why not, when not ok
  std::vector<std::string> lines;  // the data lines
};

// Sends `request` to the service running on `directory`. Raises platform::NoControlService when
// none runs there, platform::ControlChannelError when it cannot be asked.
ControlReply AskService(const std::string& directory, const std::string& request);

struct BlockedTexts {
  std::string address;
  std::string timeLeft;
};

// The data of ONLINE's reply. Lines of a kind this reader does not know are left out, so a
// service newer than the tool can add kinds of its own.
struct OnlineView {
  std::vector<OnlineLoginTexts> logins;
  std::vector<BlockedTexts> blocked;
  std::vector<LimitedAddressTexts> limited;
};
OnlineView ParseOnlineView(const std::vector<std::string>& lines);

}  // namespace orvo::service
