#include "service/OrvoService.h"

#include <cstring>
#include <stdexcept>
#include <system_error>

#include "net/FileCommands.h"
#include "platform/ControlChannel.h"
#include "platform/Utf8Path.h"
#include "service/ControlRequests.h"
#include "web/Portal.h"

namespace orvo::service {

void LoadSettings(store::TOrvoDiskDb& db, core::ServiceState& state) {
  core::SettingsValues& settings = state.settings;
  std::string root = settings.RootPath.Get();
  std::string publicPath = settings.PublicPath.Get();
  int32_t groupList = settings.GroupList.load();
  int32_t userList = settings.UserList.load();
  int32_t autoRun = settings.AutoRun.load();
  db.GetSetting(root, publicPath, groupList, userList, autoRun);
  settings.RootPath.Set(std::move(root));
  settings.PublicPath.Set(std::move(publicPath));
  settings.GroupList.store(groupList);
  settings.UserList.store(userList);
  settings.AutoRun.store(autoRun);
  state.options.Load(db.OptionRows());
}

OrvoService::OrvoService(std::string directory, uint16_t port, const platform::Clock& clock,
                         std::chrono::milliseconds busyTimeout)
    : databasePath_(platform::JoinPath(std::move(directory), store::kDatabaseFileName)),
      port_(port),
      clock_(clock),
      busyTimeout_(busyTimeout) {}

OrvoService::~OrvoService() {
  Stop();
}

void OrvoService::Start() {
  try {
    db_ =
        std::make_unique<store::TOrvoDiskDb>(databasePath_, state_.settings, clock_, busyTimeout_);
    // A file opened for reading only would fail every password change and every edit later:
    // the service must not start on such a file, nor on one that lacks a table.
    db_->CheckUsable();
    // An older database gains the options table; nothing else in it changes.
    db_->EnsureOptionsTable();
    LoadSettings(*db_, state_);
  } catch (const std::exception& e) {
    db_.reset();
    throw DatabaseUnusable("cannot open database " + databasePath_ + ": " + e.what());
  }
  accounts_ = std::make_unique<TDiskAccountCommands>(*db_, state_, clock_);
  // Uploads a killed service left half done; none of them can be in progress yet.
  net::RemoveStaleUploads({state_.settings.RootPath.Get(), state_.settings.PublicPath.Get()});
  server_ = std::make_unique<net::TOrvoServer>(state_);
  server_->SetAccountCommands(accounts_.get());
  server_->SetClock(clock_);
  server_->SetDefaultPort(port_);
  try {
    StartPortal();
    server_->SetActive(true);
  } catch (const std::exception& e) {
    // All or nothing: a service that cannot listen keeps no database open either, so nothing
    // uses half of it.
    server_.reset();
    portal_.reset();
    accounts_.reset();
    db_.reset();
    throw std::runtime_error(e.what());
  }
  StartControlChannel();
  std::lock_guard guard(timerLock_);
  stopping_ = false;
}

void OrvoService::StartPortal() {
  // The option's 0 means no portal; a port given by the caller is served, 0 picking a free one.
  // A service asked to pick its protocol port (tests, a second service on one host) picks the
  // portal's too, so that it never contends for the fixed one.
  const uint32_t option = state_.options.HttpPort.load();
  if (!httpPortOverride_ && option == 0) return;
  const uint32_t port = httpPortOverride_.value_or(port_ == 0 ? 0 : option);
  portal_ = std::make_unique<web::WebPortal>(*server_, state_);
  const std::string certificate = state_.options.HttpsCert.Get();
  const std::string key = state_.options.HttpsKey.Get();
  if (!certificate.empty() || !key.empty()) portal_->UseTls(certificate, key);
  server_->SetRequestPort(static_cast<uint16_t>(port), portal_->Hooks());
}

uint16_t OrvoService::HttpPort() const {
  return server_ && portal_ ? server_->BoundRequestPort() : 0;
}

std::string OrvoService::HttpProblem() const {
  return server_ && portal_ ? server_->RequestPortProblem() : std::string();
}

bool OrvoService::HttpSecure() const {
  return portal_ && portal_->Secure();
}

void OrvoService::StartControlChannel() {
  std::string folder =
      databasePath_.substr(0, databasePath_.size() - std::strlen(store::kDatabaseFileName));
  // The folder as messages name it: without the separator that JoinPath put before the file.
  if (folder.size() > 1 && folder[folder.size() - 2] != ':') folder.pop_back();
  try {
    control_ = std::make_unique<platform::ControlListener>(
        folder,
        [this](const std::string& request) { return AnswerControlRequest(*this, request); });
    controlProblem_.clear();
  } catch (const platform::ControlChannelTaken& e) {
    // Another service runs on this database: all or nothing, as when the port is taken.
    server_.reset();
    portal_.reset();
    accounts_.reset();
    db_.reset();
    throw std::runtime_error(e.what());
  } catch (const platform::ControlChannelError& e) {
    controlProblem_ = e.what();
  }
}

void OrvoService::Stop() {
  control_.reset();  // first: its requests use the server and the database
  {
    std::lock_guard guard(timerLock_);
    stopping_ = true;
  }
  timerWake_.notify_all();
  if (pauseTimer_.joinable()) pauseTimer_.join();
  server_.reset();  // deactivates: no listening, live connections closed, threads joined
  portal_.reset();
}

void OrvoService::ReloadSettings() {
  if (!db_) return;
  LoadSettings(*db_, state_);
  // The students, the timetable or the grace time may have changed too: the gate looks at the
  // timetable again at the next login, and every login is judged again at its next command.
  db_->TimetableChanged();
  if (server_) server_->RecheckLogins();
}

void OrvoService::PauseGate(bool paused) {
  if (!db_) return;
  db_->SetStopTimeTable(paused);
  if (server_) server_->RecheckLogins();
}

bool OrvoService::PauseGateIfTimetableEmpty() {
  if (!db_ || db_->TimeTableCount() != 0) return false;
  db_->SetStopTimeTable(true);
  return true;
}

void OrvoService::SchedulePauseCheck(std::chrono::milliseconds delay) {
  if (pauseTimer_.joinable() || !db_) return;
  // Only a service that starts on an empty timetable pauses its gate: a timetable cleared in the
  // moment before the check must end its logins, not open the gate to every class.
  try {
    if (db_->TimeTableCount() != 0) return;
  } catch (const std::exception&) {
    return;  // a missing or locked table leaves the gate as it is; logins then report the fault
  }
  pauseTimer_ = std::thread([this, delay] {
    std::unique_lock guard(timerLock_);
    if (timerWake_.wait_for(guard, delay, [this] { return stopping_; })) return;
    guard.unlock();
    try {
      PauseGateIfTimetableEmpty();
    } catch (const std::exception&) {
      // A missing or locked table leaves the gate as it is; logins then report the fault.
    }
  });
}

uint16_t OrvoService::Port() const {
  return server_ ? server_->BoundPort() : port_;
}

}  // namespace orvo::service
