// The requests that the admin tool sends to a running service over the control channel, and their
// answers: the online view, ending logins, lifting blocks, reloading what is saved in the
// database, pausing and resuming the timetable gate and showing its state. A reply's first line
// is "OK" or "ERROR <why>"; the lines after it are its data.
#pragma once

#include <cstdint>
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
// Each answers with the gate's state afterwards (ParseGateStatus reads it).
inline constexpr char kPauseRequest[] = "PAUSE";
inline constexpr char kResumeRequest[] = "RESUME";
inline constexpr char kGateRequest[] = "GATE";

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

// The data of the gate requests' replies.
struct GateStatus {
  bool paused = false;
  int32_t weekAdjustment = -1;  // the weekday taken instead of today's (1 for Monday), -1 for none
  std::string currentClass;     // the class text of the lesson on now: "*" while paused, or empty
  std::string problem;          // why the lesson on now could not be found, empty when it was
};
GateStatus ParseGateStatus(const std::vector<std::string>& lines);

}  // namespace orvo::service
