// bench-server: the service's TCP server alone, without database or console, for load runs.
// It serves the file commands and GETSYSLOG over the given folders until SIGINT or SIGTERM.
// Any LOGIN is accepted, whatever its password, and stays live: the load client logs in once as
// "CLASS ID" and then reaches ROOT/CLASS/ID and the public folder, as a student would.
#include <pthread.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "core/ServiceState.h"
#include "core/SplitAtFirst.h"
#include "net/Framing.h"
#include "net/OrvoServer.h"
#include "platform/Clock.h"
#include "platform/ProcessSignals.h"

namespace {

using namespace orvo::net;

class OpenAccounts final : public AccountCommands {
 public:
  explicit OpenAccounts(const orvo::core::SettingsValues& settings) : settings_(settings) {}

  void DoReqUList(Connection& connection, const std::string&) override {
    SendTextList(connection, {});
  }
  void DoReqGList(Connection& connection, const std::string&) override {
    SendTextList(connection, {});
  }
  void DoReqLogin(Connection& connection, const std::string& param, TPeerTable& peers) override {
    const orvo::core::HeadTail group = orvo::core::SplitAtFirst(param, ' ');
    const orvo::core::HeadTail id = orvo::core::SplitAtFirst(group.tail, ' ');
    LoginRecord login;
    login.group = group.head;
    login.name = id.head;
    login.userName = id.head;
    login.rootPath = settings_.RootPath.Get() + '\\' + group.head + '\\' + id.head;
    login.time = orvo::platform::SystemClock().Now();
    const std::vector<std::string> reply = {login.rootPath, settings_.PublicPath.Get()};
    peers.With(connection.PeerAddress(), [&](TOrvoUser& peer) { peer.SetLogin(std::move(login)); });
    SendTextList(connection, reply);
  }
  void DoReqChgPsw(Connection&, const std::string&, const LoginRecord*) override {}
  uint32_t LoginLiveMs(const LoginRecord&) override { return 3'600'000; }

 private:
  const orvo::core::SettingsValues& settings_;
};

}  // namespace

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
  orvo::platform::IgnoreBrokenPipeSignals();

  try {
    orvo::core::ServiceState state;
    state.settings.RootPath.Set(std::filesystem::absolute(root).string());
    state.settings.PublicPath.Set(std::filesystem::absolute(publicPath).string());
    OpenAccounts accounts(state.settings);
    orvo::net::TOrvoServer server(state);
    server.SetAccountCommands(&accounts);
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
