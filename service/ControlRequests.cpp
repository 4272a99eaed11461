#include "service/ControlRequests.h"

#include <cstdlib>
#include <exception>

#include "core/SplitAtFirst.h"
#include "core/SysStringS.h"
#include "platform/ControlChannel.h"
#include "service/OrvoService.h"

namespace orvo::service {
namespace {

constexpr char kOk[] = "OK";
constexpr char kError[] = "ERROR ";
// The first field of ONLINE's data lines.
constexpr char kLoginRecord[] = "LOGIN";
constexpr char kBlockedRecord[] = "BLOCKED";
constexpr char kLimitedRecord[] = "LIMITED";
// The gate's state: one record of each kind, CLASS or PROBLEM after the others.
constexpr char kPausedRecord[] = "PAUSED";
constexpr char kAdjustmentRecord[] = "ADJUSTMENT";
constexpr char kClassRecord[] = "CLASS";
constexpr char kProblemRecord[] = "PROBLEM";

// Fields joined by tabs; control characters inside a field are shown escaped, so a field can
// hold neither a tab nor a line break.
std::string Record(const std::vector<std::string>& fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += '\t';
    line += core::EscapeControls(field);
  }
  return line;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1) {
    fields.push_back(line.substr(start, tab - start));
  }
  fields.push_back(line.substr(start));
  return fields;
}

std::vector<std::string> Online(net::TOrvoServer& server) {
  std::vector<std::string> reply{kOk};
  for (const net::OnlineLogin& online : server.OnlineLogins()) {
    const OnlineLoginTexts t = DescribeLogin(online);
    reply.push_back(
        Record({kLoginRecord, t.address, t.group, t.name, t.since, t.commands, t.lastCommand}));
  }
  for (const net::BlockedAddress& blocked : server.BlockedAddresses()) {
    reply.push_back(Record({kBlockedRecord, blocked.address, DescribeTimeLeft(blocked.msLeft)}));
  }
  for (const net::LimitedAddress& limited : server.LimitedAddresses()) {
    const LimitedAddressTexts t = DescribeLimited(limited);
    reply.push_back(Record({kLimitedRecord, t.address, t.refused, t.timedOut}));
  }
  return reply;
}

std::vector<std::string> Gate(store::TOrvoDiskDb& db) {
  std::vector<std::string> reply{kOk};
  reply.push_back(Record({kPausedRecord, db.StopTimeTable() ? "1" : "0"}));
  reply.push_back(Record({kAdjustmentRecord, std::to_string(db.CurrWeekTemp())}));
  try {
    reply.push_back(Record({kClassRecord, db.CurrentGroupName()}));
  } catch (const std::exception& e) {
    // A lesson whose time cannot be read: the state is still worth showing, with the reason.
    reply.push_back(Record({kProblemRecord, e.what()}));
  }
  return reply;
}

std::vector<std::string> Answer(OrvoService& service, const std::string& request) {
  const core::HeadTail words = core::SplitAtFirst(request, ' ');
  if (words.head == kReloadRequest) {
    service.ReloadSettings();
    return {kOk};
  }
  if (words.head == kPauseRequest || words.head == kResumeRequest || words.head == kGateRequest) {
    store::TOrvoDiskDb* db = service.Db();
    if (db == nullptr) return {std::string(kError) + "the service is not serving"};
    if (words.head != kGateRequest) service.PauseGate(words.head == kPauseRequest);
    return Gate(*db);
  }
  net::TOrvoServer* server = service.Server();
  if (server == nullptr) return {std::string(kError) + "the service is not serving"};
  if (words.head == kOnlineRequest) return Online(*server);
  if (words.head == kKickAllRequest) return {kOk, std::to_string(server->EndAllLogins())};
  if (words.head == kKickRequest) {
    if (server->EndLogin(words.tail)) return {kOk};
    return {std::string(kError) + "no login from " + core::EscapeControls(words.tail)};
  }
  if (words.head == kUnblockRequest) {
    if (server->Unblock(words.tail)) return {kOk};
    return {std::string(kError) + core::EscapeControls(words.tail) + " is not blocked"};
  }
  return {std::string(kError) + "unknown request '" + core::EscapeControls(words.head) + "'"};
}

}  // namespace

std::vector<std::string> AnswerControlRequest(OrvoService& service, const std::string& request) {
  try {
    return Answer(service, request);
  } catch (const std::exception& e) {
    return {std::string(kError) + core::EscapeControls(e.what())};
  }
}

ControlReply AskService(const std::string& directory, const std::string& request) {
  std::vector<std::string> lines = platform::ControlRequest(directory, request);
  ControlReply reply;
  if (lines.empty()) {
    reply.error = "the service's reply was empty";
    return reply;
  }
  const std::string status = lines.front();
  lines.erase(lines.begin());
  reply.ok = status == kOk;
  if (!reply.ok) {
    reply.error = status.rfind(kError, 0) == 0 ? status.substr(std::string(kError).size())
                                               : "unexpected reply '" + status + "'";
  }
  reply.lines = std::move(lines);
  return reply;
}

OnlineView ParseOnlineView(const std::vector<std::string>& lines) {
  OnlineView view;
  for (const std::string& line : lines) {
    const std::vector<std::string> f = Fields(line);
    if (f[0] == kLoginRecord && f.size() == 7) {
      view.logins.push_back({f[1], f[2], f[3], f[4], f[5], f[6]});
    } else if (f[0] == kBlockedRecord && f.size() == 3) {
      view.blocked.push_back({f[1], f[2]});
    } else if (f[0] == kLimitedRecord && f.size() == 4) {
      view.limited.push_back({f[1], f[2], f[3]});
    }
  }
  return view;
}

GateStatus ParseGateStatus(const std::vector<std::string>& lines) {
  GateStatus status;
  for (const std::string& line : lines) {
    const std::vector<std::string> f = Fields(line);
    if (f.size() != 2) continue;
    if (f[0] == kPausedRecord) {
      status.paused = f[1] == "1";
    } else if (f[0] == kAdjustmentRecord) {
      status.weekAdjustment = std::atoi(f[1].c_str());
    } else if (f[0] == kClassRecord) {
      status.currentClass = f[1];
    } else if (f[0] == kProblemRecord) {
      status.problem = f[1];
    }
  }
  return status;
}

}  // namespace orvo::service
