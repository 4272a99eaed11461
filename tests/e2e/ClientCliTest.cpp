// Drives the built `orvo` program against the server running in this process on a free loopback
// port, and checks what it prints, its exit status and what it did to the served folders.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "core/ServiceState.h"
#include "net/OrvoServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestLogin.h"

namespace orvo {
namespace {

using orvo::testing::TempDir;
namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

class ClientCli : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* binDir = std::getenv("ORVO_BIN_DIR");
    ASSERT_NE(binDir, nullptr) << "ORVO_BIN_DIR names the folder of the built programs";
    program = fs::path(binDir) / "orvo";
    ASSERT_TRUE(fs::exists(program)) << program;
    fs::create_directories(root());
    fs::create_directories(pub());
    fs::create_directories(local());
    state.settings.RootPath.Set(root());
    state.settings.PublicPath.Set(pub());
    server = std::make_unique<net::TOrvoServer>(state);
    server->SetAccountCommands(&accounts);
    orvo::testing::LogInAs(*server, state.settings, root());
    server->SetDefaultPort(0);
    server->SetActive(true);
    port = server->BoundPort();
  }
  void TearDown() override { server.reset(); }

  std::string root() const { return dir / "root"; }
  std::string pub() const { return dir / "pub"; }
  std::string local() const { return dir / "local"; }

  // Runs orvo with `args` against the test server; stdout and stderr land in files.
  Outcome Orvo(const std::vector<std::string>& args, uint16_t usePort = 0) {
    std::string command =
        Quote(program.string()) + " --port " + std::to_string(usePort ? usePort : port);
    for (const auto& arg : args) command.append(" ").append(Quote(arg));
    const std::string out = dir / "stdout", err = dir / "stderr";
    command.append(" >").append(Quote(out)).append(" 2>").append(Quote(err)).append(" </dev/null");
    const int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = TempDir::Read(out);
    outcome.err = TempDir::Read(err);
    return outcome;
  }

  // A failure is one line on standard error and status 1.
  static void ExpectFailure(const Outcome& outcome, const std::string& needle) {
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find(needle), std::string::npos) << outcome.err;
    EXPECT_TRUE(outcome.err.starts_with("orvo: ")) << outcome.err;
    ASSERT_FALSE(outcome.err.empty());
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line: " << outcome.err;
  }

  static void ExpectSuccess(const Outcome& outcome) {
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
  }

  TempDir dir;
  core::ServiceState state;
  fs::path program;
  orvo::testing::KeepLoginsLive accounts;
  std::unique_ptr<net::TOrvoServer> server;
  uint16_t port = 0;
};

TEST_F(ClientCli, PutListGetRoundTripWithBlanksAndChineseNames) {
  std::string content(300000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  const std::string source = dir.Write("local/作业 一.bin", content);
  const std::string remote = pub() + "/作业 一.bin";

  ExpectSuccess(Orvo({"put", source, remote}));
  EXPECT_EQ(TempDir::Read(remote), content);

  // A remote folder ending in a separator takes the local name.
  ExpectSuccess(Orvo({"put", source, root() + "/"}));
  EXPECT_EQ(TempDir::Read(root() + "/作业 一.bin"), content);

  fs::create_directory(pub() + "/sub");
  const Outcome listing = Orvo({"ls", pub() + "/*"});
  ExpectSuccess(listing);
  const std::regex line(
      R"(d +0 \d{4}-\d{2}-\d{2} \d{2}:\d{2} sub\n- 300000 \d{4}-\d{2}-\d{2} \d{2}:\d{2} 作业 一\.bin\n)");
  EXPECT_TRUE(std::regex_match(listing.out, line)) << listing.out;

  // Backslashes are passed as typed; the server takes them for separators.
  const Outcome backslashed = Orvo({"ls", pub() + "\\sub"});
  ExpectSuccess(backslashed);
  EXPECT_TRUE(backslashed.out.starts_with("d ")) << backslashed.out;

  ExpectSuccess(Orvo({"get", remote, local() + "/copy.bin"}));
  EXPECT_EQ(TempDir::Read(local() + "/copy.bin"), content);
  // Without LOCAL, or with a folder as LOCAL, the remote name is used.
  fs::create_directory(local() + "/into");
  ExpectSuccess(Orvo({"get", remote, local() + "/into"}));
  EXPECT_EQ(TempDir::Read(local() + "/into/作业 一.bin"), content);
}

TEST_F(ClientCli, FolderCommandsChangeTheServedTree) {
  ExpectSuccess(Orvo({"mkdir", pub() + "/a/b/c"}));
  EXPECT_TRUE(fs::is_directory(pub() + "/a/b/c"));
  dir.Write("pub/a/file.txt", "x");

  ExpectSuccess(Orvo({"mv", pub() + "/a/file.txt", pub() + "/a/b/c/moved.txt"}));
  EXPECT_FALSE(fs::exists(pub() + "/a/file.txt"));
  EXPECT_EQ(TempDir::Read(pub() + "/a/b/c/moved.txt"), "x");

  // A target ending in a separator is the folder that receives the source, even an empty one.
  fs::create_directory(pub() + "/empty");
  ExpectSuccess(Orvo({"mv", pub() + "/a/b/c/moved.txt", pub() + "/empty/"}));
  EXPECT_EQ(TempDir::Read(pub() + "/empty/moved.txt"), "x");
  ExpectSuccess(Orvo({"mv", pub() + "/empty/moved.txt", pub() + "/a/b/c/moved.txt"}));

  ExpectSuccess(Orvo({"rm", pub() + "/a/b/c/moved.txt"}));
  EXPECT_FALSE(fs::exists(pub() + "/a/b/c/moved.txt"));
  ExpectSuccess(Orvo({"rm", pub() + "/a/b/c"}));
  EXPECT_FALSE(fs::exists(pub() + "/a/b/c"));

  const Outcome log = Orvo({"log"});
  ExpectSuccess(log);
  EXPECT_NE(log.out.find("MKDIR " + pub() + "/a/b/c\n"), std::string::npos) << log.out;
  EXPECT_NE(log.out.find("DELETE " + pub() + "/a/b/c\n"), std::string::npos) << log.out;
}

TEST_F(ClientCli, FailedGetLeavesNoPartialFile) {
  const std::string target = local() + "/wanted.bin";
  ExpectFailure(Orvo({"get", pub() + "/missing.bin", target}), "no reply");
  fs::create_directory(pub() + "/folder");
  ExpectFailure(Orvo({"get", pub() + "/folder", target}), "no reply");
  // Outside the served trees the server refuses as well.
  ExpectFailure(Orvo({"get", dir / "outside.txt", target}), "no reply");
  dir.Write("pub/there.txt", "data");
  ExpectFailure(Orvo({"get", pub() + "/there.txt", local() + "/no/such/folder.txt"}),
                "cannot write " + local() + "/no/such/folder.txt");
  EXPECT_TRUE(fs::is_empty(local())) << "neither the file nor a temporary one may stay";
}

TEST_F(ClientCli, CommandsTheServerDidNotCarryOutAreFailures) {
  const std::string source = dir.Write("local/f.txt", "data");
  ExpectFailure(Orvo({"put", source, pub() + "/no/such/folder/f.txt"}), "did not store");
  ExpectFailure(Orvo({"put", local() + "/absent.txt", pub() + "/f.txt"}), "cannot read");
  EXPECT_FALSE(fs::exists(pub() + "/f.txt"));

  dir.Write("pub/full/inside.txt", "x");
  ExpectFailure(Orvo({"rm", pub() + "/full"}), "did not delete");
  EXPECT_TRUE(fs::exists(pub() + "/full/inside.txt"));
  ExpectFailure(Orvo({"rm", pub() + "/nothing"}), "no such file or folder");
  ExpectFailure(Orvo({"mv", pub() + "/nothing", pub() + "/else"}), "no such file or folder");

  dir.Write("pub/blocker", "file in the way");
  ExpectFailure(Orvo({"mkdir", pub() + "/blocker"}), "did not create");
  ExpectFailure(Orvo({"mkdir", dir / "outside"}), "did not create");
  EXPECT_FALSE(fs::exists(dir / "outside"));
}

// The server keeps one login per address, so --source is how one machine acts as another PC:
// a listing from an address without a login is refused until that very address logs in.
TEST_F(ClientCli, SourceOptionActsAsAnotherPc) {
  dir.Write("pub/handout.txt", "for everyone");
  const Outcome before = Orvo({"--source", "127.0.0.5", "ls", pub() + "/*"});
  ExpectSuccess(before);
  EXPECT_EQ(before.out, "") << "127.0.0.5 holds no login";
  ASSERT_TRUE(server->UserDic().Contains("127.0.0.5"));

  orvo::testing::LogInAs(*server, state.settings, root(), "127.0.0.5");
  const Outcome after = Orvo({"--source", "127.0.0.5", "ls", pub() + "/*"});
  ExpectSuccess(after);
  EXPECT_NE(after.out.find("handout.txt"), std::string::npos) << after.out;

  ExpectFailure(Orvo({"--source", "192.0.2.1", "ls", pub() + "/*"}),
                "cannot connect to 127.0.0.1:" + std::to_string(port) + " from 192.0.2.1: ");
}

TEST_F(ClientCli, UnreachableServerAndBadArguments) {
  const uint16_t stoppedPort = port;
  server.reset();
  ExpectFailure(Orvo({"ls", pub() + "/*"}, stoppedPort),
                "cannot connect to 127.0.0.1:" + std::to_string(stoppedPort));
  ExpectFailure(Orvo({"frobnicate"}), "orvo: ");
  ExpectFailure(Orvo({"get"}), "REMOTE");
}

}  // namespace
}  // namespace orvo
