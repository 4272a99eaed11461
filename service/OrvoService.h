// OrvoService: the one place that brings the service up and down, for the console and the
// headless program alike. Start opens the database in the application directory, loads the saved
// settings and only then starts listening, so no request is served before both exist.
// It owns the service state (settings values, options, system log) that the database object, the
// account handlers and the server read.
// Created, started and stopped by one owning thread; Db(), Server() and State() are for that
// thread and for the window handlers. Start raises std::runtime_error with a message naming the
// file or port.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/ServiceState.h"
#include "net/OrvoServer.h"
#include "platform/Clock.h"
#include "service/DiskAccountCommands.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::platform {
class ControlListener;
}
namespace orvo::web {
class WebPortal;
}

namespace orvo::service {

// Raised by OrvoService::Start when the database file cannot be opened or used; its other start
// failures (the port, the control channel) raise a plain std::runtime_error.
class DatabaseUnusable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// How long after start the gate is paused when the timetable is empty.
inline constexpr std::chrono::milliseconds kStartupPauseDelay{1000};

class OrvoService {
 public:
  // `directory` holds orvoDisk.db (a trailing separator is optional); `port` 0 picks a free one.
  // `busyTimeout`: how long a statement waits for a file another program holds.
  OrvoService(std::string directory, uint16_t port,
              const platform::Clock& clock = platform::SystemClock(),
              std::chrono::milliseconds busyTimeout = store::kDefaultBusyTimeout);
  ~OrvoService();  // stops
  OrvoService(const OrvoService&) = delete;
  OrvoService& operator=(const OrvoService&) = delete;

  // Opens the database (writable, all four tables must exist), loads the settings, starts
  // listening, then serves the control channel; on a failure nothing stays open.
  void Start();
  // Stops listening, closes live connections and waits for every thread the service started.
  void Stop();

  // Reads the settings row and the options again into the service state, has the gate read the
  // timetable again at the next login and every login checked again at its next command.
  void ReloadSettings();
  // Pauses the timetable gate (every class may log in, no login ends by time) or resumes it; the
  // pause lives as long as the service, as the console's check box has it. Logins are judged
  // again at their next command.
  void PauseGate(bool paused);
  // Pauses the timetable gate when the TimeTable table is empty; returns whether it did.
  bool PauseGateIfTimetableEmpty();
  // When the timetable is empty now, runs PauseGateIfTimetableEmpty once, `delay` after this
  // call, on a thread Stop() ends (so a timetable filled meanwhile is left to decide).
  void SchedulePauseCheck(std::chrono::milliseconds delay = kStartupPauseDelay);

  // The browser portal's port in place of the option HttpPort (0 picks a free one, as for the
  // protocol's port; nullopt: the option's, where 0 means no portal, and a free one when the
  // protocol's port is 0). Set before Start.
  void SetHttpPort(std::optional<uint16_t> port) { httpPortOverride_ = port; }
  // The port the portal serves, 0 when there is none.
  uint16_t HttpPort() const;
  // Why the portal is not served although it should be (its port is taken), empty otherwise.
  std::string HttpProblem() const;
  bool HttpSecure() const;

  std::string DatabasePath() const { return databasePath_; }
  // Why the control channel (platform/ControlChannel.h) is not served, empty when it is: the
  // service runs without it where the folder cannot hold it.
  const std::string& ControlChannelProblem() const { return controlProblem_; }
  uint16_t Port() const;
  bool Running() const { return server_ && server_->Active(); }
  store::TOrvoDiskDb* Db() { return db_.get(); }
  net::TOrvoServer* Server() { return server_.get(); }
  // The settings values, options and system log; they live as long as the service object.
  core::ServiceState& State() { return state_; }

 private:
  // Serves the control channel of the database's folder; raises (leaving nothing open) when
  // another service serves it already.
  void StartControlChannel();
  // Makes the browser portal and gives the server its port, unless the port is 0.
  void StartPortal();

  std::string databasePath_;
  uint16_t port_;
  const platform::Clock& clock_;
  std::chrono::milliseconds busyTimeout_;
  core::ServiceState state_;  // declared before everything that reads it
  std::unique_ptr<store::TOrvoDiskDb> db_;
  std::unique_ptr<TDiskAccountCommands> accounts_;
  std::optional<uint16_t> httpPortOverride_;
  std::unique_ptr<web::WebPortal> portal_;  // before the server: it outlives the server's threads
  std::unique_ptr<net::TOrvoServer> server_;
  std::unique_ptr<platform::ControlListener> control_;
  std::string controlProblem_;

  std::mutex timerLock_;
  std::condition_variable timerWake_;
  bool stopping_ = false;  // guarded by timerLock_
  std::thread pauseTimer_;
};

// The settings row into `state`'s settings values (values without a row stay as they are) and the
// options into its option values (an option without a row takes its default).
void LoadSettings(store::TOrvoDiskDb& db, core::ServiceState& state);

}  // namespace orvo::service
