// orvo-serverd: the headless service for lab servers. It serves the database in DIR (default: the
// program's own folder) on PORT until it is told to stop: SIGINT or SIGTERM on Linux, where SIGHUP
// reloads the saved settings; Ctrl+C, Ctrl+Break or closing its console window on Windows.
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "app/VersionFlag.h"
#include "net/OrvoServer.h"
#include "platform/CommandLine.h"
#include "platform/DefaultFolder.h"
#include "platform/FileSystem.h"
#include "platform/ProcessSignals.h"
#include "service/OrvoService.h"
#include "store/OrvoDiskDbUnit.h"

namespace {

#ifdef _WIN32

constexpr const char* kDescription =
    "Orvo file service without a console. Ctrl+C, Ctrl+Break or closing the console window stop "
    "it; saved settings take effect at the next start, or at once when orvo-admin saves them.";

// Set by the console's control handler; the main thread stops the service and then sets `stopped`.
HANDLE stopRequested = nullptr;
HANDLE stopped = nullptr;

// Runs on a thread of its own. Windows ends the process as soon as this returns from a close
// event, so it waits until the service has stopped in order (the system allows a few seconds).
BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      ::SetEvent(stopRequested);
      ::WaitForSingleObject(stopped, 20'000);
      return TRUE;
    default:
      return FALSE;
  }
}

// Arranges for the stop request before the service starts, so an early Ctrl+C is not lost.
void PrepareForStop() {
  stopRequested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  stopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (stopRequested == nullptr || stopped == nullptr ||
      !::SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
    throw std::runtime_error("cannot watch the console for Ctrl+C");
  }
}

void AwaitStop(orvo::service::OrvoService&) {
  ::WaitForSingleObject(stopRequested, INFINITE);
}

void ReportStopped() {
  ::SetEvent(stopped);
}

#else

constexpr const char* kDescription =
    "Orvo file service without a console. SIGINT or SIGTERM stop it; SIGHUP reloads the saved "
    "settings.";

sigset_t signals;

void PrepareForStop() {
  // Every thread the service starts inherits this mask, so the signals reach only sigwait below.
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void AwaitStop(orvo::service::OrvoService& service) {
  for (;;) {
    int received = 0;
    if (sigwait(&signals, &received) != 0) continue;
    if (received != SIGHUP) return;
    try {
      service.ReloadSettings();
      std::fprintf(stderr, "orvo-serverd: settings reloaded\n");
    } catch (const std::exception& e) {
      std::fprintf(stderr, "orvo-serverd: cannot reload settings: %s\n", e.what());
    }
  }
}

void ReportStopped() {}

#endif

}  // namespace

int main(int argc, char** argv) {
  orvo::platform::CommandLineArguments arguments(argc, argv);
  orvo::platform::UseUtf8Output();
  CLI::App app{kDescription};
  orvo::app::AddVersionFlag(app, "orvo-serverd");
  std::string directory;
  uint16_t port = orvo::net::TOrvoServer::kServicePort;
  app.add_option(
      "--dir", directory,
      "folder that holds orvoDisk.db (default: the program's folder; for a program installed "
      "below /usr, ~/.local/share/orvo)");
  app.add_option("--port", port, "TCP port to listen on; 0 picks a free one")
      ->capture_default_str();
  std::optional<uint16_t> httpPort;
  app.add_option("--http-port", httpPort,
                 "TCP port of the students' browser portal in place of the option HttpPort "
                 "(default 18780, where 0 switches the portal off); 0 here picks a free one");
  CLI11_PARSE(app, arguments.Count(), arguments.Values());

  try {
    orvo::platform::IgnoreBrokenPipeSignals();
    PrepareForStop();
    if (directory.empty()) {
      directory = orvo::platform::DefaultDatabaseFolder(orvo::store::kDatabaseFileName);
    }
    {
      orvo::service::OrvoService service(directory, port);
      service.SetHttpPort(httpPort);
      service.Start();
      service.SchedulePauseCheck();
      std::printf("orvo-serverd: listening on port %u\n", static_cast<unsigned>(service.Port()));
      if (service.HttpPort() != 0) {
        std::printf("orvo-serverd: web on port %u\n", static_cast<unsigned>(service.HttpPort()));
      } else if (!service.HttpProblem().empty()) {
        std::fprintf(stderr, "orvo-serverd: no web portal: %s\n", service.HttpProblem().c_str());
      }
      std::fflush(stdout);
      if (!service.ControlChannelProblem().empty()) {
        std::fprintf(stderr, "orvo-serverd: orvo-admin cannot reach this service: %s\n",
                     service.ControlChannelProblem().c_str());
      }
      AwaitStop(service);
      service.Stop();
    }  // the database is closed here, before the stop is reported
    std::fprintf(stderr, "orvo-serverd: stopped\n");
    std::fflush(stderr);
    ReportStopped();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvo-serverd: %s\n", e.what());
    ReportStopped();
    return 1;
  }
}
