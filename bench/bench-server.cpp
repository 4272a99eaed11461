// bench-server: the service's TCP server alone, without database or console, for load runs.
// It serves the file commands and GETSYSLOG over the given folders until SIGINT or SIGTERM.
#include <pthread.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "core/SettingsValues.h"
#include "net/OrvoServer.h"

int main(int argc, char** argv) {
  CLI::App app{"Runs the Orvo server in-process over two folders until SIGINT or SIGTERM."};
  std::string root, publicPath;
  uint16_t port = orvo::net::TOrvoServer::kServicePort;
  app.add_option("--root", root, "folder holding the students' folders")->required();
  app.add_option("--public", publicPath, "the shared folder")->required();
  app.add_option("--port", port, "port to listen on (0: any free port)")->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  // Blocked before any thread starts, so every thread inherits the mask and sigwait below is the
  // only receiver.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  try {
    orvo::core::Settings().RootPath.Set(std::filesystem::absolute(root).string());
    orvo::core::Settings().PublicPath.Set(std::filesystem::absolute(publicPath).string());
    orvo::net::TOrvoServer server;
    server.SetDefaultPort(port);
    server.SetActive(true);
    std::printf("bench-server: listening on port %u\n", static_cast<unsigned>(server.BoundPort()));
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.SetActive(false);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench-server: %s\n", error.what());
    return 1;
  }
  return 0;
}
