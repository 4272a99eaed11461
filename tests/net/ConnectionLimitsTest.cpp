// The connection limits as a client meets them: the caps per address and in all, the deadline of
// the command line, the stall timeout of a transfer, and the peer records that expire. Several
// student PCs are loopback source addresses (127.0.0.2, 127.0.0.3, ...). The timeouts are
// shortened here; nothing is timed, the tests wait for what the server does.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Options.h"
#include "core/ServiceState.h"
#include "net/ConnectionLimits.h"
#include "net/Framing.h"
#include "net/OrvoServer.h"
#include "platform/Clock.h"
#include "platform/FindData.h"
#include "tests/support/Eventually.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestLogin.h"

namespace orvo::net {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvo::testing::Eventually;
using orvo::testing::RawClient;
using orvo::testing::TempDir;

constexpr char kStudentPc[] = "127.0.0.1";  // the logged-in address

class ConnectionLimitsTest : public ::testing::Test {
 protected:
  void Start(const ConnectionLimits& limits) {
    fs::create_directories(dir.Path() / "root/class/student");
    root = (dir.Path() / "root/class/student").string();
    server = std::make_unique<TOrvoServer>(state);
    server->SetAccountCommands(&accounts);
    server->SetLimits(limits);
    server->SetClock(clock);
    orvo::testing::LogInAs(*server, state.settings, root, kStudentPc);
    server->SetDefaultPort(0);
    server->SetActive(true);
    port = server->BoundPort();
  }

  void TearDown() override {
    if (!server) return;
    EXPECT_TRUE(Eventually([&] { return server->LiveConnections() == 0; }))
        << server->LiveConnections() << " connections still live";
    server.reset();
  }

  std::unique_ptr<RawClient> Connect(const std::string& source) {
    return std::make_unique<RawClient>(port, "127.0.0.1", source);
  }
  std::vector<std::unique_ptr<RawClient>> Hold(const std::string& source, std::size_t count) {
    std::vector<std::unique_ptr<RawClient>> held;
    for (std::size_t i = 0; i < count; ++i) held.push_back(Connect(source));
    return held;
  }
  bool LiveReach(std::size_t count) {
    return Eventually([&] { return server->LiveConnections() == count; });
  }
  // The logged-in student's listing of its own folder: what every test checks still works.
  std::string ListOwnFolder() {
    return RawClient::RequestFrom(port, kStudentPc, "LIST " + root + "\\*");
  }
  std::string In(const std::string& name) const { return root + "\\" + name; }

  LimitedAddress Limited(const std::string& address) {
    for (const LimitedAddress& limited : server->LimitedAddresses()) {
      if (limited.address == address) return limited;
    }
    return {address, 0, 0};
  }

  TempDir dir;
  std::string root;
  core::ServiceState state;
  orvo::testing::KeepLoginsLive accounts;
  platform::ManualClock clock;
  std::unique_ptr<TOrvoServer> server;
  uint16_t port = 0;
};

ConnectionLimits Limits(std::size_t perAddress, std::size_t total,
                        std::chrono::milliseconds commandLine = 0ms,
                        std::chrono::milliseconds stall = 0ms) {
  ConnectionLimits limits;
  limits.perAddress = perAddress;
  limits.total = total;
  limits.commandLine = commandLine;
  limits.transferStall = stall;
  limits.workers = 4;
  return limits;
}

TEST_F(ConnectionLimitsTest, PerAddressCapClosesTheNextConnectionWhileOthersStillConnect) {
  Start(Limits(4, 100));
  auto held = Hold("127.0.0.2", 4);
  ASSERT_TRUE(LiveReach(4));

  auto over = Connect("127.0.0.2");
  EXPECT_EQ(over->ReadToClose(), "") << "closed at once, unanswered";
  EXPECT_EQ(Limited("127.0.0.2").refused, 1u);
  EXPECT_TRUE(LiveReach(4));

  // Other student PCs are served as before.
  EXPECT_EQ(ListOwnFolder(), std::string(4, '\0'));
  auto other = Connect("127.0.0.3");
  EXPECT_TRUE(LiveReach(5));
  EXPECT_EQ(Limited("127.0.0.3").refused, 0u);

  // A connection that ends makes room for the next one of that address.
  held.pop_back();
  ASSERT_TRUE(LiveReach(4));
  auto again = Connect("127.0.0.2");
  EXPECT_TRUE(LiveReach(5));
  EXPECT_EQ(Limited("127.0.0.2").refused, 1u);
}

TEST_F(ConnectionLimitsTest, TotalCapClosesNewConnectionsOfEveryAddressUntilOneEnds) {
  Start(Limits(10, 6));
  auto first = Hold("127.0.0.2", 4);
  auto second = Hold("127.0.0.3", 2);
  ASSERT_TRUE(LiveReach(6));
  for (const char* source : {"127.0.0.2", "127.0.0.4"}) {
    auto over = Connect(source);
    EXPECT_EQ(over->ReadToClose(), "") << source;
    EXPECT_EQ(Limited(source).refused, 1u) << source;
  }
  second.clear();
  ASSERT_TRUE(LiveReach(4));
  EXPECT_EQ(ListOwnFolder(), std::string(4, '\0'));
}

TEST_F(ConnectionLimitsTest, SilentConnectionsAndHalfLinesAreClosedAtTheDeadline) {
  Start(Limits(64, 100, 300ms));
  auto silent = Connect("127.0.0.2");
  auto half = Connect("127.0.0.2");
  half->Send("LIST " + root);  // no line end ever follows
  auto unfinished = Connect("127.0.0.3");
  unfinished->Send("GETSYS");

  EXPECT_EQ(silent->ReadToClose(), "");
  EXPECT_EQ(half->ReadToClose(), "");
  EXPECT_EQ(Limited("127.0.0.2").timedOut, 2u);
  EXPECT_EQ(unfinished->ReadToClose(), "");
  EXPECT_EQ(Limited("127.0.0.3").timedOut, 1u);
  // Only command lines go to the log: nothing of the cut-off connections.
  EXPECT_EQ(state.sysLog.Count(), 0u);
  EXPECT_EQ(ListOwnFolder(), std::string(4, '\0'));
  EXPECT_EQ(state.sysLog.Count(), 1u);
}

TEST_F(ConnectionLimitsTest, StalledUploadEndsAndKeepsTheOldFile) {
  Start(Limits(64, 100, 0ms, 300ms));
  dir.Write("root/class/student/good.txt", "good data");
  auto upload = Connect(kStudentPc);
  upload->Send("PUT " + In("good.txt") + "\r\n" + EncodeCount(5000) + std::string(1000, 'x'));
  ASSERT_TRUE(LiveReach(1));
  // The client neither sends the rest nor closes: the server gives up on its own.
  ASSERT_TRUE(LiveReach(0));
  EXPECT_EQ(upload->ReadToClose(), "");
  EXPECT_EQ(TempDir::Read(fs::path(root) / "good.txt"), "good data");
  EXPECT_EQ(Limited(kStudentPc).timedOut, 1u);
  EXPECT_EQ(RawClient::RequestFrom(port, kStudentPc, "GET " + In("good.txt")),
            orvo::testing::Counted("good data"));
}

TEST_F(ConnectionLimitsTest, DownloadToAClientThatStopsReadingEnds) {
  Start(Limits(64, 100, 0ms, 300ms));
  { std::ofstream(fs::path(root) / "big.bin"); }
  fs::resize_file(fs::path(root) / "big.bin", 64u << 20);  // far more than the socket buffers
  auto download = Connect(kStudentPc);
  download->Send("GET " + In("big.bin") + "\r\n");
  ASSERT_TRUE(LiveReach(1));
  ASSERT_TRUE(LiveReach(0)) << "the client never reads, so the server's send stalls";
  EXPECT_EQ(Limited(kStudentPc).timedOut, 1u);
}

TEST_F(ConnectionLimitsTest, IdleConnectionsOfOneAddressLeaveAnotherServed) {
  Start(Limits(64, 1000, 0ms));
  dir.Write("root/class/student/a.txt", "a");
  auto idle = Hold("127.0.0.2", 64);
  for (std::size_t i = 0; i < idle.size(); i += 2) idle[i]->Send("LIST ");  // half lines too
  ASSERT_TRUE(LiveReach(64));
  // Four workers serve everyone: the idle connections hold none of them.
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(RawClient::RequestFrom(port, kStudentPc, "GET " + In("a.txt")),
              orvo::testing::Counted("a"));
  }
  EXPECT_EQ(ListOwnFolder().size(), 4 + platform::kFindDataBytes);
  idle.clear();
}

TEST_F(ConnectionLimitsTest, CommandsWaitForABusyWorkerAndStoppingEndsThemAll) {
  ConnectionLimits limits = Limits(64, 100);
  limits.workers = 1;
  Start(limits);
  dir.Write("root/class/student/a.txt", "a");
  // The one worker is held by an upload that neither finishes nor stalls out; a GET waits.
  const auto holdTheWorkerAndQueueAGet = [&](const std::string& uploaded) {
    std::pair<std::unique_ptr<RawClient>, std::unique_ptr<RawClient>> clients;
    clients.first = Connect(kStudentPc);
    clients.first->Send("PUT " + In(uploaded) + "\r\n" + EncodeCount(100) + "x");
    EXPECT_TRUE(LiveReach(1));
    clients.second = Connect(kStudentPc);
    clients.second->Send("GET " + In("a.txt") + "\r\n");
    EXPECT_TRUE(LiveReach(2));
    return clients;
  };
  auto [upload, waiting] = holdTheWorkerAndQueueAGet("b.txt");
  // Once the worker is free the waiting command is served.
  upload->Send(std::string(99, 'y'));
  EXPECT_EQ(upload->ReadToClose(), "");
  EXPECT_EQ(waiting->ReadToClose(), orvo::testing::Counted("a"));

  // Stopping with a command still waiting for the held worker closes both, unanswered.
  auto [held, queued] = holdTheWorkerAndQueueAGet("c.txt");
  server.reset();
  EXPECT_EQ(held->ReadToClose(), "");
  EXPECT_EQ(queued->ReadToClose(), "");
  EXPECT_FALSE(fs::exists(fs::path(root) / "c.txt"));
}

TEST_F(ConnectionLimitsTest, QuietPeerRecordsWithoutLoginOrBlockAreForgotten) {
  Start(Limits(64, 100));
  for (const char* source : {"127.0.0.2", "127.0.0.3"}) {
    EXPECT_EQ(RawClient::RequestFrom(port, source, "NOTHING"), "");
  }
  server->UserDic().With("127.0.0.3", [](TOrvoUser& peer) { peer.Block(60 * 60'000); });
  ASSERT_TRUE(server->UserDic().Contains("127.0.0.2"));

  ASSERT_TRUE(LiveReach(0));  // every connection's end has been noted
  server->ExpireQuietPeers();
  EXPECT_TRUE(server->UserDic().Contains("127.0.0.2")) << "seen just now";
  clock.AdvanceTicks(11 * 60'000);
  server->ExpireQuietPeers();
  EXPECT_FALSE(server->UserDic().Contains("127.0.0.2"));
  EXPECT_TRUE(server->UserDic().Contains("127.0.0.3")) << "still blocked";
  EXPECT_TRUE(server->UserDic().Contains(kStudentPc)) << "logged in";
  // A forgotten address is simply new again.
  EXPECT_EQ(RawClient::RequestFrom(port, "127.0.0.2", "NOTHING"), "");
  EXPECT_TRUE(server->UserDic().Contains("127.0.0.2"));
}

TEST(ConnectionLimitsFromOptions, DefaultsAutoAndExplicitValues) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> rows;
    uint64_t descriptorLimit;
    std::size_t perAddress, total, workers;
    std::chrono::milliseconds commandLine, stall;
  };
  using std::chrono::milliseconds;
  const Case cases[] = {
      {"defaults, soft limit 1024", {}, 1024, 64, 1024 - 256 - 256, 128, 30s, 60s},
      {"defaults, large limit", {}, 1u << 20, 64, (1u << 20) - 512, 128, 30s, 60s},
      {"no limit on the host", {}, 0, 64, 16384, 128, 30s, 60s},
      {"a limit below the reserve", {}, 300, 64, 1, 128, 30s, 60s},
      {"explicit values",
       {{"ConnectionsPerAddress", "8"},
        {"MaxConnections", "500"},
        {"CommandLineSeconds", "5"},
        {"TransferStallSeconds", "0"},
        {"WorkerThreads", "16"}},
       1u << 20,
       8,
       500,
       16,
       5s,
       0s},
      {"more than the descriptors allow",
       {{"MaxConnections", "100000"}},
       4096,
       64,
       4096 - 512,
       128,
       30s,
       60s},
      {"invalid values fall back",
       {{"WorkerThreads", "0"}, {"MaxConnections", "-1"}},
       1u << 20,
       64,
       (1u << 20) - 512,
       128,
       30s,
       60s},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    core::OptionValues options;
    options.Load(c.rows);
    const ConnectionLimits limits = ConnectionLimits::FromOptions(options, c.descriptorLimit);
    EXPECT_EQ(limits.perAddress, c.perAddress);
    EXPECT_EQ(limits.total, c.total);
    EXPECT_EQ(limits.workers, c.workers);
    EXPECT_EQ(limits.commandLine, c.commandLine);
    EXPECT_EQ(limits.transferStall, c.stall);
  }
}

}  // namespace
}  // namespace orvo::net
