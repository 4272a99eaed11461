#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

#include "core/ServiceState.h"
#include "net/OrvoServer.h"
#include "platform/ListenerSocket.h"
#include "platform/SocketAddress.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestLogin.h"

namespace orvo::net {
namespace {

using orvo::testing::Counted;
using orvo::testing::RawClient;
using orvo::testing::TempDir;
using namespace std::chrono_literals;

template <typename Condition>
bool Eventually(Condition condition) {
  for (int i = 0; i < 2000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state.settings.RootPath.Set(root.Path().string());
    server = std::make_unique<TOrvoServer>(state);
    server->SetAccountCommands(&accounts);
    orvo::testing::LogInAs(*server, state.settings, root.Path());
    server->SetDefaultPort(0);
    server->SetActive(true);
    port = server->BoundPort();
  }
  std::string Request(const std::string& bytes) { return RawClient::Request(port, bytes); }

  TempDir root;
  core::ServiceState state;
  orvo::testing::KeepLoginsLive accounts;
  std::unique_ptr<TOrvoServer> server;
  uint16_t port = 0;
};

TEST_F(ServerTest, GetSysLogAsTheFirstRequestAnswersWithItsOwnLine) {
  EXPECT_EQ(Request("GETSYSLOG\r\n"), Counted("GETSYSLOG\r\n"));
}

TEST_F(ServerTest, CommandWordsMatchExactlyAndEveryLineIsLogged) {
  // Lower case, a leading blank, an unknown word and an empty line: no handler runs, no reply.
  for (const char* line :
       {"list /tmp\r\n", " LIST /tmp\r\n", "NOPE x\r\n", "\r\n", "\xEF\xBB\xBFLIST /\r\n"}) {
    EXPECT_EQ(Request(line), "") << line;
  }
  EXPECT_EQ(state.sysLog.Text(), "list /tmp\r\n LIST /tmp\r\nNOPE x\r\n\r\n\xEF\xBB\xBFLIST /\r\n");
}

TEST_F(ServerTest, ListWithoutParameterRunsWithAnEmptyOne) {
  EXPECT_EQ(Request("LIST\r\n"), std::string(4, '\0'));
}

TEST_F(ServerTest, PasswordsNeverReachTheLog) {
  Request("LOGIN 一班 张三 my secret\r\n");
  Request("CHGPSW 一班 张三 new\r\n");
  Request("LOGIN 一班 张三\r\n");
  EXPECT_EQ(state.sysLog.Text(),
            "LOGIN 一班 张三 ******\r\nCHGPSW 一班 张三 ******\r\nLOGIN 一班 张三\r\n");
  const std::string reply = Request("GETSYSLOG\r\n");
  EXPECT_EQ(reply.find("secret"), std::string::npos);
}

TEST_F(ServerTest, LineLimitIsSixteenKibibytesBeforeTheTerminator) {
  const std::string atLimit = "GETSYSLOG " + std::string(16384 - 10, 'x');
  const std::string reply = Request(atLimit + "\r\n");
  ASSERT_GT(reply.size(), 4u);
  EXPECT_NE(reply.find(atLimit), std::string::npos);

  state.sysLog.Clear();
  EXPECT_EQ(Request(atLimit + "y\r\n"), "");
  EXPECT_EQ(state.sysLog.Count(), 0u) << "a refused line is not logged";
}

TEST_F(ServerTest, TerminatorSplitAcrossSegmentsEndsTheLine) {
  RawClient client(port);
  client.Send("GETSYSLOG\r");
  std::this_thread::sleep_for(50ms);
  client.Send("\n");
  EXPECT_EQ(client.ReadToClose(), Counted("GETSYSLOG\r\n"));
}

TEST_F(ServerTest, LineEndingInBareLfWaitsForMore) {
  RawClient client(port);
  client.Send("GETSYSLOG x\n");
  ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 1; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(server->LiveConnections(), 1u) << "still waiting for CR LF";
  client.Send("\r\n");
  // The bare LF is part of the line, and the log shows it escaped: one line stays one line.
  EXPECT_EQ(client.ReadToClose(), Counted("GETSYSLOG x\\n\r\n"));
}

TEST_F(ServerTest, PeerTableKeepsOneRecordPerAddress) {
  {
    RawClient first(port);
    RawClient second(port);
    first.Send("GETSYSLOG\r\n");
    second.Send("GETSYSLOG\r\n");
    EXPECT_FALSE(first.ReadToClose().empty());
    EXPECT_FALSE(second.ReadToClose().empty());
  }
  for (const char* source : {"127.0.0.2", "127.0.0.3", "127.0.0.2"}) {
    RawClient client(port, "127.0.0.1", source);
    client.Send("GETSYSLOG\r\n");
    client.ReadToClose();
  }
  EXPECT_EQ(server->UserDic().Count(), 3u);
  const auto peer = server->UserDic().Copy("127.0.0.2");
  ASSERT_TRUE(peer);
  EXPECT_EQ(peer->IP(), "127.0.0.2");
  EXPECT_EQ(peer->ID(), 0u);
}

TEST_F(ServerTest, ServesIpv6ClientsWhereTheHostHasIpv6) {
  std::unique_ptr<RawClient> client;
  try {
    client = std::make_unique<RawClient>(port, "::1");
  } catch (const std::exception&) {
    GTEST_SKIP() << "no IPv6 loopback on this host";
  }
  client->Send("GETSYSLOG\r\n");
  EXPECT_EQ(client->ReadToClose(), Counted("GETSYSLOG\r\n"));
  EXPECT_TRUE(server->UserDic().Contains("::1"));
}

TEST_F(ServerTest, SecondServerOnTheSamePortFailsNamingThePort) {
  TOrvoServer second(state);
  second.SetDefaultPort(port);
  try {
    second.SetActive(true);
    FAIL() << "activation on a taken port must fail";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find(std::to_string(port)), std::string::npos) << e.what();
  }
  EXPECT_FALSE(second.Active());
}

// A picked port is given up for another when IPv6 has it taken; that rests on telling "taken"
// apart from other failures, which each host reports with its own code.
TEST(ListenerSocketTest, PortHeldByAnotherSocketIsReportedAsInUse) {
  const platform::Socket first = platform::BindListener(AF_INET, 0, 4);
  const uint16_t port = platform::LocalPort(first.Native());
  try {
    platform::BindListener(AF_INET, port, 4);
    FAIL() << "a second listener on port " << port;
  } catch (const std::system_error& e) {
    EXPECT_TRUE(platform::IsAddressInUse(e)) << e.code().value() << " " << e.what();
    EXPECT_NE(std::string(e.what()).find(std::to_string(port)), std::string::npos) << e.what();
  }
}

TEST_F(ServerTest, StoppingClosesSilentAndUploadingClientsAndWaitsForThem) {
  RawClient silent(port);
  RawClient uploading(port);
  const std::string target = root / "upload.bin";
  uploading.Send("PUT " + target + "\r\n" + std::string("\x00\x00\x03\xE8", 4) + "0123456789");
  ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 2; }));
  const auto started = std::chrono::steady_clock::now();
  server.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
  EXPECT_EQ(silent.ReadToClose(), "");
  EXPECT_EQ(uploading.ReadToClose(), "");
  EXPECT_FALSE(std::filesystem::exists(target)) << "a cut-off upload must not leave a file";
  for (const auto& entry : std::filesystem::directory_iterator(root.Path())) {
    ADD_FAILURE() << "left behind: " << entry.path();
  }
}

TEST_F(ServerTest, StoppingAnUntilCloseUploadDoesNotCommitIt) {
  const std::string target = root.Write("kept.txt", "old content");
  RawClient uploading(port);
  uploading.Send("PUT " + target + "\r\n\xFF\xFF\xFF\xFFpartial");
  ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 1; }));
  std::this_thread::sleep_for(50ms);
  server.reset();
  EXPECT_EQ(TempDir::Read(target), "old content");
}

TEST_F(ServerTest, ManyConcurrentClientsAreAllServed) {
  std::vector<std::thread> clients;
  std::atomic<int> answered{0};
  for (int i = 0; i < 64; ++i) {
    clients.emplace_back([&] {
      if (RawClient::Request(port, "LIST\r\n") == std::string(4, '\0')) ++answered;
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(answered.load(), 64);
  EXPECT_TRUE(Eventually([&] { return server->LiveConnections() == 0; }));
}

TEST_F(ServerTest, ReactivationAfterDeactivationServesAgain) {
  server->SetActive(false);
  EXPECT_FALSE(server->Active());
  server->SetDefaultPort(port);
  server->SetActive(true);
  EXPECT_EQ(Request("GETSYSLOG\r\n"), Counted("GETSYSLOG\r\n"));
}

}  // namespace
}  // namespace orvo::net
