// Hostile clients over loopback: what a curious student with a script can send to a server whose
// root and public folders live in a temporary folder. After every test the server must still
// answer and hold no connection.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/ServiceState.h"
#include "net/Framing.h"
#include "net/OrvoServer.h"
#include "service/OrvoService.h"
#include "tests/support/Eventually.h"
#include "tests/support/PathEscapeCases.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestLogin.h"

namespace orvo::net {
namespace {

using orvo::testing::Counted;
using orvo::testing::Eventually;
using orvo::testing::RawClient;
using orvo::testing::TempDir;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kEmptyListing(4, '\0');

// Names in a folder (not followed into subfolders), hidden ones included.
std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class HostileClient : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir.Path() / "root");
    fs::create_directories(dir.Path() / "public");
    dir.Write("outside/secret.txt", "secret");
    root = (dir.Path() / "root").string();
    state.settings.RootPath.Set(root);
    state.settings.PublicPath.Set((dir.Path() / "public").string());
    server = std::make_unique<TOrvoServer>(state);
    server->SetAccountCommands(&accounts);
    orvo::testing::LogInAs(*server, state.settings, root);
    server->SetDefaultPort(0);
    server->SetActive(true);
    port = server->BoundPort();
  }

  void TearDown() override {
    // Whatever was sent, the service still answers and no connection is left behind.
    EXPECT_GT(Request("GETSYSLOG").size(), 4u);
    EXPECT_TRUE(Eventually([&] { return server->LiveConnections() == 0; }))
        << server->LiveConnections() << " connections still live";
    server.reset();
  }

  std::string Request(const std::string& line, const std::string& extra = {}) {
    return RawClient::Request(port, line + "\r\n" + extra);
  }
  // A path as a Windows client writes it below the root folder.
  std::string In(const std::string& relative) const {
    std::string path = root + "\\";
    for (const char c : relative) path += c == '/' ? '\\' : c;
    return path;
  }
  std::string Local(const std::string& relative) const { return root + "/" + relative; }

  // Sends `bytes` and waits until the server has ended the connection without reading anything
  // back first: a server that streamed endlessly or hung would keep it live, and then the client
  // closing ends it. Returns what the server sent.
  std::string SendAndAwaitClose(const std::string& bytes) {
    RawClient client(port);
    client.Send(bytes);
    const bool ended = Eventually([&] { return server->LiveConnections() == 0; }, 5s);
    EXPECT_TRUE(ended) << "the server is still busy with: " << bytes.substr(0, 80);
    if (!ended) return "<still live>";
    return client.ReadToClose();
  }

  void ExpectOutsideUntouched() {
    EXPECT_EQ(NamesIn(dir.Path() / "outside"), std::vector<std::string>{"secret.txt"});
    EXPECT_EQ(TempDir::Read(dir.Path() / "outside/secret.txt"), "secret");
  }

  TempDir dir;
  std::string root;
  core::ServiceState state;
  orvo::testing::KeepLoginsLive accounts;
  std::unique_ptr<TOrvoServer> server;
  uint16_t port = 0;
};

// ---- Paths that try to leave the trees

TEST_F(HostileClient, EscapesThroughSeparatorsLinksAndOtherSpellingsReachNothing) {
  orvo::testing::MakeEscapeLayout(dir.Path().string());
  for (const auto& escape : orvo::testing::PathEscapes(dir.Path().string())) {
    SCOPED_TRACE(escape.secret);
    dir.Write("root/mine.txt", "mine");
    EXPECT_EQ(Request("GET " + escape.secret), "");
    EXPECT_EQ(Request("LIST " + escape.folder + "\\*"), kEmptyListing);
    EXPECT_EQ(Request("PUT " + escape.secret, Counted("stolen")), "");
    EXPECT_EQ(Request("PUT " + escape.folder + "\\planted.txt", Counted("planted")), "");
    EXPECT_EQ(Request("MKDIR " + escape.folder + "\\made\\"), "");
    EXPECT_EQ(Request("MOVE " + In("mine.txt") + "|" + escape.folder + "\\mine.txt"), "");
    if (!escape.linkInRoot) {
      EXPECT_EQ(Request("LIST " + escape.secret), kEmptyListing);
      EXPECT_EQ(Request("DELETE " + escape.secret), "");
      EXPECT_EQ(Request("MOVE " + escape.secret + "|" + In("stolen.txt")), "");
      EXPECT_EQ(Request("MOVE " + In("mine.txt") + "|" + escape.secret), "");
    }
    EXPECT_EQ(TempDir::Read(Local("mine.txt")), "mine");
    EXPECT_TRUE(orvo::testing::EscapeLayoutUntouched(dir.Path().string()));
    EXPECT_FALSE(fs::exists(Local("stolen.txt")));
  }
}

// Absolute Linux paths and symbolic links: the Linux host's other ways out of the trees.
#ifndef _WIN32
TEST_F(HostileClient, ForeignAbsolutePathsReachNothing) {
  for (const std::string& foreign : {std::string("/etc/passwd"), std::string("/proc/self/environ"),
                                     std::string("\\proc\\self\\environ")}) {
    EXPECT_EQ(Request("GET " + foreign), "") << foreign;
  }
}

TEST_F(HostileClient, DanglingLinksPointingOutPlantNothingOutside) {
  const std::string outside = (dir.Path() / "outside").string();
  fs::create_symlink(outside + "/planted.txt", Local("dangling"));
  fs::create_symlink(outside + "/newdir", Local("nodir"));
  fs::create_symlink("/proc/self/environ", Local("environ"));
  dir.Write("root/mine.txt", "mine");
  EXPECT_EQ(Request("PUT " + In("dangling"), Counted("planted")), "");
  EXPECT_EQ(Request("MKDIR " + In("dangling")), "");
  EXPECT_EQ(Request("PUT " + In("nodir\\x.txt"), Counted("planted")), "");
  EXPECT_EQ(Request("MKDIR " + In("nodir\\sub\\")), "");
  EXPECT_EQ(Request("GET " + In("environ")), "");
  EXPECT_EQ(Request("GET " + In("dangling")), "");
  ExpectOutsideUntouched();
  // Moving onto a dangling link replaces the link, which lies inside the root.
  EXPECT_EQ(Request("MOVE " + In("mine.txt") + "|" + In("dangling")), "");
  ExpectOutsideUntouched();
  EXPECT_EQ(TempDir::Read(Local("dangling")), "mine");
}

#endif  // !_WIN32

TEST_F(HostileClient, NulInsideALineNamesNoShorterPath) {
  dir.Write("root/mine.txt", "mine");
  const std::string nul(1, '\0');
  EXPECT_EQ(Request("GET " + In("mine.txt") + nul + ".png"), "");
  EXPECT_EQ(Request("GET " + In("mine.txt") + nul), "");
  EXPECT_EQ(Request("LIST " + In("mine.txt") + nul), kEmptyListing);
  EXPECT_EQ(Request("LIST " + In("*") + nul), kEmptyListing);
  EXPECT_EQ(Request("LIST " + In("m") + nul + "*"), kEmptyListing);
  EXPECT_EQ(Request("PUT " + In("new.txt") + nul + ".exe", Counted("x")), "");
  EXPECT_EQ(Request("PUT " + In("mine.txt") + nul + ".exe", Counted("x")), "");
  EXPECT_EQ(Request("MKDIR " + In("made") + nul + "x\\"), "");
  EXPECT_EQ(Request("DELETE " + In("mine.txt") + nul), "");
  EXPECT_EQ(Request("MOVE " + In("mine.txt") + nul + "|" + In("moved.txt")), "");
  EXPECT_EQ(Request("MOVE " + In("mine.txt") + "|" + In("moved.txt") + nul), "");
  // An over-long encoding of NUL is no NUL: it arrives as U+FFFD and names no file here.
  EXPECT_EQ(Request("GET " + In("mine.txt") + "\xC0\x80"), "");
  EXPECT_EQ(NamesIn(root), std::vector<std::string>{"mine.txt"});
  EXPECT_EQ(TempDir::Read(Local("mine.txt")), "mine");
}

TEST_F(HostileClient, OverlongNamesAndPathsFailCleanly) {
  dir.Write("root/mine.txt", "mine");
  const std::string longName(300, 'n');  // past the 255-byte limit of one name
  std::string longPath = root;           // past the 4096-byte limit of a path
  while (longPath.size() < 5000) longPath += "\\" + std::string(199, 'd');
  for (const std::string& path : {In(longName), In(longName + "\\x.txt"), longPath}) {
    SCOPED_TRACE(path.size());
    EXPECT_EQ(Request("GET " + path), "");
    EXPECT_EQ(Request("LIST " + path), kEmptyListing);
    EXPECT_EQ(Request("LIST " + path + "\\*"), kEmptyListing);
    EXPECT_EQ(Request("PUT " + path, Counted("data")), "");
    EXPECT_EQ(Request("MKDIR " + path + "\\"), "");
    EXPECT_EQ(Request("DELETE " + path), "");
    EXPECT_EQ(Request("MOVE " + In("mine.txt") + "|" + path), "");
    EXPECT_EQ(Request("MOVE " + path + "|" + In("moved.txt")), "");
  }
  // MKDIR may have made the levels of the long path that fit; no file went anywhere, and no
  // temporary upload was left behind.
  std::vector<std::string> files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    if (!it->is_directory()) {
      files.push_back(it->path().filename().string());
#ifdef _WIN32
    } else if (it->path().native().size() >= 248) {
      // Levels past MAX_PATH are out of the test's own reach on Windows; only MKDIR made them,
      // since every command that could place a file there failed for its path's length.
      it.disable_recursion_pending();
#endif
    }
  }
  EXPECT_EQ(files, std::vector<std::string>{"mine.txt"});
  EXPECT_EQ(TempDir::Read(Local("mine.txt")), "mine");
  std::error_code error;
  EXPECT_FALSE(fs::exists(Local(longName), error));
#ifdef _WIN32
  // The temporary folder's removal cannot reach past MAX_PATH: take the levels off one by one,
  // deepest first, through the long-path form. Removing a folder that is not empty fails.
  for (std::size_t cut = longPath.size(); cut > root.size(); cut = longPath.rfind('\\', cut - 1)) {
    fs::remove("\\\\?\\" + longPath.substr(0, cut), error);
  }
#endif
}

// ---- Files that are not plain files (device nodes and pipes of a Linux host)

#ifndef _WIN32
TEST_F(HostileClient, DeviceFilesNeverStream) {
  fs::create_symlink("/dev/zero", Local("zero"));
  fs::create_symlink("/dev/urandom", Local("urandom"));
  for (const std::string& path : {In("zero"), In("urandom"), std::string("/dev/zero"),
                                  std::string("/dev/urandom"), std::string("\\dev\\zero")}) {
    EXPECT_EQ(SendAndAwaitClose("GET " + path + "\r\n"), "") << path;
  }
  // A device node inside the root itself (where the test may make one): refused as not a plain
  // file, and an upload does not turn it into one.
  if (::mknod(Local("zero-node").c_str(), S_IFCHR | 0666, ::makedev(1, 5)) != 0) {
    GTEST_SKIP() << "cannot make a device node here: " << strerror(errno);
  }
  EXPECT_EQ(SendAndAwaitClose("GET " + In("zero-node") + "\r\n"), "");
  EXPECT_EQ(SendAndAwaitClose("PUT " + In("zero-node") + "\r\n" + Counted("x")), "");
  EXPECT_TRUE(fs::is_character_file(Local("zero-node")));
}

TEST_F(HostileClient, FifoInsideTheRootNeitherHangsGetNorPut) {
  const std::string fifo = Local("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  // Should a transfer block on the pipe, opening its other end lets it go, so the test ends.
  struct Unblock {
    std::string path;
    ~Unblock() {
      for (const int mode : {O_WRONLY, O_RDONLY}) {
        const int fd = ::open(path.c_str(), mode | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
      }
    }
  } unblock{fifo};
  EXPECT_EQ(SendAndAwaitClose("GET " + In("pipe") + "\r\n"), "");
  EXPECT_EQ(SendAndAwaitClose("PUT " + In("pipe") + "\r\n" + Counted("into the pipe")), "");
  EXPECT_EQ(SendAndAwaitClose("PUT " + In("pipe") + "\r\n\xFF\xFF\xFF\xFF" + "until close"), "");
  EXPECT_TRUE(fs::is_fifo(fifo));
}

#endif  // !_WIN32

// ---- Lines

TEST_F(HostileClient, OverlongLineIsCutOffWithoutWaitingForItsEnd) {
  // No CR LF ever comes: the server gives up as soon as the limit is passed.
  EXPECT_EQ(SendAndAwaitClose("GET " + std::string(kMaxCommandLineBytes + 100, 'x')), "");
  // A whole mebibyte: the server closes while it is still arriving.
  RawClient client(port);
  try {
    client.Send("LIST " + std::string(1 << 20, 'y') + "\r\n");
  } catch (const std::runtime_error&) {
    // The server closed first; the send is cut off.
  }
  EXPECT_EQ(client.ReadToClose(), "");
  EXPECT_EQ(state.sysLog.Count(), 0u) << "a refused line is not logged";
}

TEST_F(HostileClient, SlowSenderIsServedAndHoldsUpNoOneElse) {
  dir.Write("root/a.txt", "a");
  const auto dribble = [](RawClient& client, const std::string& bytes) {
    for (const char c : bytes) {
      client.Send(std::string(1, c));
      std::this_thread::sleep_for(120ms);
    }
  };
  RawClient slow(port);
  std::thread sender([&] { dribble(slow, "GETSYSLOG\r\n"); });
  ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 1; }));
  // Meanwhile another client is served at once.
  EXPECT_EQ(Request("GET " + In("a.txt")), Counted("a"));
  sender.join();
  EXPECT_EQ(slow.ReadToClose(), Counted("GET " + In("a.txt") + "\r\nGETSYSLOG\r\n"));

  // The counted block may dribble too.
  RawClient upload(port);
  upload.Send("PUT " + In("slow.txt") + "\r\n");
  dribble(upload, Counted("hello"));
  EXPECT_EQ(upload.ReadToClose(), "");
  EXPECT_EQ(TempDir::Read(Local("slow.txt")), "hello");
}

// ---- Clients that vanish

TEST_F(HostileClient, ClientVanishingMidGetFreesTheFile) {
  { std::ofstream(Local("big.bin")); }
  fs::resize_file(Local("big.bin"), 256u << 20);  // sparse: cheap to make, slow to send
  {
    RawClient client(port);
    client.Send("GET " + In("big.bin") + "\r\n");
    ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 1; }));
    std::this_thread::sleep_for(100ms);  // the server is sending into full buffers
  }                                      // closed with unread bytes: the server's next send fails
  ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 0; }));
  // Neither the in-process claim nor the lock is left: the file can be replaced and fetched.
  EXPECT_EQ(Request("PUT " + In("big.bin"), Counted("small")), "");
  EXPECT_EQ(Request("GET " + In("big.bin")), Counted("small"));
}

TEST_F(HostileClient, ClientVanishingMidPutLeavesTheOldFileWhole) {
  const std::string line = "PUT " + In("good.txt") + "\r\n";
  const std::string count = EncodeCount(5000);
  for (const std::string& sent :
       {line, line + count.substr(0, 2), line + count, line + count + std::string(1000, 'x'),
        line + count + std::string(4999, 'x')}) {
    SCOPED_TRACE(sent.size() - line.size());
    dir.Write("root/good.txt", "good data");
    {
      RawClient client(port);
      client.Send(sent);
      ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 1; }));
    }
    ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 0; }));
    EXPECT_EQ(TempDir::Read(Local("good.txt")), "good data");
    EXPECT_EQ(NamesIn(root), std::vector<std::string>{"good.txt"}) << "no temporary file left";
    EXPECT_EQ(Request("GET " + In("good.txt")), Counted("good data"));
  }
  EXPECT_EQ(Request("PUT " + In("good.txt"), Counted("new data")), "");
  EXPECT_EQ(TempDir::Read(Local("good.txt")), "new data");
}

// ---- Counts at and past 2^31

TEST_F(HostileClient, FilesOfTwoGibibytesOrMoreAreNeverSent) {
  for (const uintmax_t size : {uintmax_t{1} << 31, (uintmax_t{1} << 32) + 5}) {
    { std::ofstream(Local("huge.bin")); }
    fs::resize_file(Local("huge.bin"), size);  // sparse
    EXPECT_EQ(SendAndAwaitClose("GET " + In("huge.bin") + "\r\n"), "") << size;
  }
}

TEST_F(HostileClient, MebibytesSentInOneWriteArriveWholeAndComeBackWhole) {
  std::string content(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 131 + 7);
  EXPECT_EQ(Request("PUT " + In("big file.bin"), Counted(content)), "");
  EXPECT_EQ(TempDir::Read(Local("big file.bin")), content);
  EXPECT_EQ(Request("GET " + In("big file.bin")), Counted(content));
}

TEST_F(HostileClient, CountsWithTheTopBitSetUploadUntilClose) {
  for (const uint32_t count : {0x80000000u, 0x80000001u, 0xC0000000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(count);
    RawClient client(port);
    client.Send("PUT " + In("up.txt") + "\r\n" + EncodeCount(count) + "streamed");
    client.ShutdownSend();
    EXPECT_EQ(client.ReadToClose(), "");
    EXPECT_EQ(TempDir::Read(Local("up.txt")), "streamed");
    ASSERT_TRUE(fs::remove(Local("up.txt")));
  }
}

TEST_F(HostileClient, LargestCountThatBreaksOffLeavesNothingBehind) {
  dir.Write("root/kept.txt", "kept");
  {
    RawClient client(port);
    // 2 GiB announced, three bytes sent, then the client is gone.
    client.Send("PUT " + In("kept.txt") + "\r\n" + EncodeCount(0x7FFFFFFFu) + "abc");
    ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 1; }));
  }
  ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 0; }));
  EXPECT_EQ(TempDir::Read(Local("kept.txt")), "kept");
  EXPECT_EQ(NamesIn(root), std::vector<std::string>{"kept.txt"});
}

TEST_F(HostileClient, UntilCloseUploadsFromTwentyClientsAtOnceAllLand) {
  constexpr int kClients = 20;
  const auto content = [](int i) {
    std::string bytes(200 * 1024 + static_cast<std::size_t>(i), '\0');
    for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>(k * 7 + i);
    return bytes;
  };
  std::latch ready(kClients);
  std::atomic<int> answeredEmpty{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      RawClient client(port);
      client.Send("PUT " + In("up" + std::to_string(i) + ".bin") + "\r\n\xFF\xFF\xFF\xFF");
      ready.arrive_and_wait();
      client.Send(content(i));
      client.ShutdownSend();
      if (client.ReadToClose().empty()) ++answeredEmpty;
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(answeredEmpty.load(), kClients);
  ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == 0; }));
  EXPECT_EQ(NamesIn(root).size(), static_cast<std::size_t>(kClients)) << "no temporary file left";
  for (int i = 0; i < kClients; ++i) {
    EXPECT_EQ(TempDir::Read(Local("up" + std::to_string(i) + ".bin")), content(i)) << i;
  }
}

// ---- Accounts: a real service over a test database

class HostileLogin : public ::testing::Test {
 protected:
  void SetUp() override {
    orvo::testing::CreateDatabaseFromSchema(dir / store::kDatabaseFileName);
    service = std::make_unique<service::OrvoService>(dir.Path().string(), 0);
    service->Start();
    service->Db()->AddGroup("C1");
    service->Db()->AddUser("Li", "C1");
    service->Db()->AddUser("Wu", "C1");
    service->Db()->SetStopTimeTable(true);  // every class may log in
    port = service->Port();
  }
  void TearDown() override {
    EXPECT_GT(RawClient::Request(port, "GETSYSLOG\r\n").size(), 4u);
    EXPECT_TRUE(Eventually([&] { return service->Server()->LiveConnections() == 0; }));
    service.reset();
  }

  std::string Request(const std::string& line, const std::string& source = "127.0.0.1") {
    RawClient client(port, "127.0.0.1", source);
    client.Send(line + "\r\n");
    return client.ReadToClose();
  }
  bool Accepted(const std::string& reply) { return reply.size() > 4; }

  TempDir dir;
  std::unique_ptr<service::OrvoService> service;
  uint16_t port = 0;
};

TEST_F(HostileLogin, GuessingAtSpeedIsRefusedAndTheRightPasswordStillWorks) {
  constexpr int kThreads = 16;
  constexpr int kGuessesEach = 25;
  std::atomic<int> refused{0};
  std::atomic<int> other{0};
  std::vector<std::thread> guessers;
  for (int t = 0; t < kThreads; ++t) {
    guessers.emplace_back([&, t] {
      const std::string source = "127.0.0." + std::to_string(2 + t % 8);
      for (int g = 0; g < kGuessesEach; ++g) {
        const std::string guess = "guess-" + std::to_string(t) + "-" + std::to_string(g);
        const std::string reply = Request("LOGIN C1 Li " + guess, source);
        ++(reply == Counted("") ? refused : other);
      }
    });
  }
  for (auto& guesser : guessers) guesser.join();
  EXPECT_EQ(refused.load(), kThreads * kGuessesEach);
  EXPECT_EQ(other.load(), 0);

  EXPECT_TRUE(Accepted(Request("LOGIN C1 Li 907183", "127.0.0.20")));
  // The guesses were logged, their passwords were not.
  const std::string log = Request("GETSYSLOG");
  EXPECT_EQ(log.find("guess-"), std::string::npos);
  EXPECT_EQ(service->State().sysLog.Count(), static_cast<std::size_t>(kThreads * kGuessesEach + 2));
}

TEST_F(HostileLogin, ChgpswFromAnAddressWithoutThatStudentsLoginChangesNothing) {
  ASSERT_TRUE(Accepted(Request("LOGIN C1 Li 907183", "127.0.0.2")));
  ASSERT_TRUE(Accepted(Request("LOGIN C1 Wu 907183", "127.0.0.4")));
  // Never logged in; only failed logins; logged in as another student; another class's name.
  EXPECT_EQ(Request("CHGPSW C1 Li taken", "127.0.0.3"), "");
  EXPECT_EQ(Request("LOGIN C1 Li wrong", "127.0.0.5"), Counted(""));
  EXPECT_EQ(Request("CHGPSW C1 Li taken", "127.0.0.5"), "");
  EXPECT_EQ(Request("CHGPSW C1 Li taken", "127.0.0.4"), "");
  EXPECT_EQ(Request("CHGPSW C2 Li taken", "127.0.0.2"), "");
  EXPECT_EQ(Request("LOGIN C1 Li taken"), Counted(""));
  EXPECT_TRUE(Accepted(Request("LOGIN C1 Li 907183")));
  // From its own address the change goes through.
  EXPECT_EQ(Request("CHGPSW C1 Li mine now", "127.0.0.2"), "");
  EXPECT_TRUE(Accepted(Request("LOGIN C1 Li mine now")));
  EXPECT_TRUE(Accepted(Request("LOGIN C1 Wu 907183")));
}

}  // namespace
}  // namespace orvo::net
