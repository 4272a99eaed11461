// orvo-serverd: the headless service for lab servers. It serves the database in DIR (default: the
// program's own folder) on PORT until SIGINT or SIGTERM; SIGHUP reloads the saved settings.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

#include "net/OrvoServer.h"
#include "platform/FileSystem.h"
#include "service/OrvoService.h"

int main(int argc, char** argv) {
  CLI::App app{"Orvo file service without a console"};
  std::string directory;
  uint16_t port = orvo::net::TOrvoServer::kServicePort;
  app.add_option("--dir", directory,
                 "folder that holds orvoDisk.db (default: the program's folder)");
  app.add_option("--port", port, "TCP port to listen on; 0 picks a free one")
      ->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  // Every thread the service starts inherits this mask, so the signals reach only sigwait below.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // A write past the file-size limit must fail that upload (EFBIG), not end the service.
  signal(SIGXFSZ, SIG_IGN);

  try {
    if (directory.empty()) directory = orvo::platform::ExecutableDir();
    orvo::service::OrvoService service(directory, port);
    service.Start();
    service.SchedulePauseCheck();
    std::printf("orvo-serverd: listening on port %u\n", static_cast<unsigned>(service.Port()));
    std::fflush(stdout);
    for (;;) {
      int received = 0;
      if (sigwait(&signals, &received) != 0) continue;
      if (received == SIGHUP) {
        try {
          service.ReloadSettings();
          std::fprintf(stderr, "orvo-serverd: settings reloaded\n");
        } catch (const std::exception& e) {
          std::fprintf(stderr, "orvo-serverd: cannot reload settings: %s\n", e.what());
        }
        continue;
      }
      break;
    }
    service.Stop();
    std::fprintf(stderr, "orvo-serverd: stopped\n");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvo-serverd: %s\n", e.what());
    return 1;
  }
}
