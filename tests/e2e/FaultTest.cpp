// Faults around the service: a database locked by another process, unusable at start, a full
// disk, the service or the admin tool killed mid-write, and stopping with hundreds of connections.
// The service runs as its own process (orvo-serverd) on a temporary folder, except where a test
// needs to look inside the server.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/ServiceState.h"
#include "net/Framing.h"
#include "net/OrvoServer.h"
#include "platform/DescriptorLimit.h"
#include "tests/support/Eventually.h"
#include "tests/support/Process.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo {
namespace {

using orvo::testing::Counted;
using orvo::testing::Eventually;
using orvo::testing::Outcome;
using orvo::testing::Process;
using orvo::testing::RawClient;
using orvo::testing::TempDir;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Pattern(std::size_t size, int seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 31 + seed);
  return bytes;
}

// Entries of a folder other than `keep`.
std::vector<std::string> OthersIn(const fs::path& folder, const std::string& keep) {
  std::vector<std::string> others;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename() != keep) others.push_back(entry.path().filename());
  }
  return others;
}

std::size_t ThreadsOfThisProcess() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& task : fs::directory_iterator("/proc/self/task")) ++count;
  return count;
}

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Admin({"init"}).status, 0);
    fs::create_directories(dir.Path() / "root");
    root = (dir.Path() / "root").string();
  }

  Outcome Admin(const std::vector<std::string>& args, const std::string& input = {}) {
    return testing::RunAdmin(dir.Path().string(), args, input);
  }
  void AdminOk(const std::vector<std::string>& args, const std::string& input = {}) {
    const Outcome outcome = Admin(args, input);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
  }

  // Starts orvo-serverd, through `wrapper` (a program taking the command after its own
  // arguments) when one is given, and waits until it says it listens.
  void StartService(const std::vector<std::string>& wrapper = {}) {
    std::vector<std::string> args = {"--dir", dir.Path().string(), "--port", "0"};
    fs::path program = testing::BuiltProgram("orvo-serverd");
    if (!wrapper.empty()) {
      args.insert(args.begin(), program.string());
      args.insert(args.begin(), wrapper.begin() + 1, wrapper.end());
      program = wrapper.front();
    }
    service = std::make_unique<Process>(program, args);
    const std::string line = service->ReadLine();
    const std::string prefix = "orvo-serverd: listening on port ";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    port = static_cast<uint16_t>(std::stoi(line.substr(prefix.size())));
  }

  std::string Request(const std::string& line, const std::string& extra = {}) {
    return RawClient::Request(port, line + "\r\n" + extra);
  }
  // With an empty timetable the gate opens for every class one second after the start; this
  // waits until a login of `student` passes.
  bool LoginPasses(const std::string& student) {
    return Eventually([&] { return Request("LOGIN C1 " + student + " 907183").size() > 4; }, 10s,
                      100ms);
  }

  std::string DatabasePath() const { return dir / "orvoDisk.db"; }

  // Student Li of class C1 with the root folder set; Li's folder, which a login of Li reaches.
  std::string AddStudentLi() {
    EXPECT_EQ(Admin({"settings", "set", "--root", root}).status, 0);
    EXPECT_EQ(Admin({"class", "add", "C1"}).status, 0);
    EXPECT_EQ(Admin({"student", "add", "C1", "Li"}).status, 0);
    return root + "/C1/Li";
  }

  TempDir dir;
  std::string root;
  std::unique_ptr<Process> service;
  uint16_t port = 0;
};

// ---- The database

TEST_F(FaultTest, DatabaseLockedByAnotherProcessFailsOnlyTheRequestThatNeedsIt) {
  AdminOk({"class", "add", "C1"});
  AdminOk({"student", "add", "C1", "Li"});
  StartService();
  ASSERT_TRUE(LoginPasses("Li"));

  testing::RawConnection other(DatabasePath());
  other.Exec("BEGIN EXCLUSIVE");
  Request("GETSYSLOG locked from here");
  std::string lockedReply = "<none>";
  std::thread login([&] { lockedReply = Request("LOGIN C1 Li 907183"); });
  // While that login waits out the busy timeout, requests that need no database are served.
  EXPECT_TRUE(Eventually([&] {
    const std::string log = Request("GETSYSLOG");
    return log.find("LOGIN C1 Li ******", log.find("locked from here")) != std::string::npos;
  }));
  login.join();
  EXPECT_EQ(lockedReply, "") << "no reply at all, not a refusal";
  other.Exec("ROLLBACK");

  EXPECT_GT(Request("LOGIN C1 Li 907183").size(), 4u) << "the service goes on";
  service->Signal(SIGTERM);
  EXPECT_EQ(service->Wait(10s).status, 0);
}

TEST_F(FaultTest, UnusableDatabaseEndsTheServiceAtStartNamingTheFile) {
  const std::string database = DatabasePath();
  const auto expectRefused = [&](const char* what, const Outcome& outcome) {
    SCOPED_TRACE(what);
    EXPECT_EQ(outcome.status, 1) << outcome.out;
    EXPECT_NE(outcome.err.find("cannot open database " + database), std::string::npos)
        << outcome.err;
  };
  const auto serve = [&] {
    return testing::Run("orvo-serverd", {"--dir", dir.Path().string(), "--port", "0"});
  };
  // The missing file is covered by ServiceE2E.MissingDatabaseAndTakenPortEndTheServiceWithAMessage.
  fs::rename(database, database + ".good");
  dir.Write("orvoDisk.db", "not a database, only some text that is long enough to look at");
  expectRefused("not a database", serve());
  dir.Write("orvoDisk.db", "");
  expectRefused("empty file", serve());
  EXPECT_EQ(fs::file_size(database), 0u) << "no tables were made in it";
  fs::remove(database);
  fs::create_directory(database);
  expectRefused("a folder", serve());
  fs::remove(database);

  // Read-only: file permissions do not stop root, so the service runs as nobody over a database
  // that root owns and only root may write.
  fs::rename(database + ".good", database);
  fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(database, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);
  const std::vector<std::string> asNobody = {"--reuid=65534", "--regid=65534", "--clear-groups"};
  std::vector<std::string> probe = asNobody;
  probe.insert(probe.end(),
               {"/bin/sh", "-c", "test -x \"$0\" && test -r \"$1\" && ! test -w \"$1\"",
                testing::BuiltProgram("orvo-serverd").string(), database});
  if (Process("/usr/bin/setpriv", probe).Wait().status != 0) {
    GTEST_SKIP() << "nobody cannot run the built service here (setpriv missing or the build "
                    "folder closed to others), so the read-only start is not tried";
  }
  std::vector<std::string> readOnly = asNobody;
  readOnly.insert(readOnly.end(), {testing::BuiltProgram("orvo-serverd").string(), "--dir",
                                   dir.Path().string(), "--port", "0"});
  Process unprivileged("/usr/bin/setpriv", readOnly);
  expectRefused("read-only", unprivileged.Wait(10s));
}

// ---- A full disk

TEST_F(FaultTest, FullDiskDuringPutKeepsTheOldFileAndTheServiceGoesOn) {
  const std::string mine = AddStudentLi();
  const std::string old = Pattern(100000, 1);
  dir.Write("root/C1/Li/doc.bin", old);
  // A file-size limit on the service stands in for a full disk: writes past 256 KiB fail.
  StartService({"/usr/bin/prlimit", "--fsize=262144"});
  ASSERT_TRUE(LoginPasses("Li"));
  const std::string big = Pattern(1 << 20, 2);
  // Counted or until close: a write fails midway.
  for (const std::string& header : {net::EncodeCount(1 << 20), std::string("\xFF\xFF\xFF\xFF")}) {
    RawClient client(port);
    try {
      client.Send("PUT " + mine + "\\doc.bin\r\n" + header + big);
      client.ShutdownSend();
    } catch (const std::runtime_error&) {
      // The service stopped reading and closed; the rest of the upload had nowhere to go.
    }
    EXPECT_EQ(client.ReadToClose(), "");
    EXPECT_EQ(TempDir::Read(mine + "/doc.bin"), old);
    EXPECT_TRUE(Eventually([&] { return OthersIn(mine, "doc.bin").empty(); }))
        << "the temporary file of the failed upload is gone";
  }
  EXPECT_EQ(Request("GET " + mine + "\\doc.bin"), Counted(old)) << "the service goes on";
  const std::string fits = Pattern(200000, 3);
  EXPECT_EQ(Request("PUT " + mine + "\\doc.bin", Counted(fits)), "");
  EXPECT_EQ(TempDir::Read(mine + "/doc.bin"), fits);
  service->Signal(SIGTERM);
  const Outcome outcome = service->Wait(10s);
  EXPECT_EQ(outcome.status, 0) << outcome.err;
}

// ---- Killed processes

TEST_F(FaultTest, KillingTheServiceAndTheAdminToolMidBulkAddLeavesAWholeDatabase) {
  AdminOk({"settings", "set", "--root", root});
  AdminOk({"class", "add", "C1"});
  StartService();
  std::string names;
  for (int i = 0; i < 5000; ++i) names += "s" + std::to_string(10000 + i) + "\n";
  Process add(testing::BuiltProgram("orvo-admin"),
              {"--dir", dir.Path().string(), "student", "add", "C1"}, names);
  // Student folders are made inside the add's transaction, one after each insert: a tenth of
  // them made means the transaction is well under way.
  const fs::path classFolder = fs::path(root) / "C1";
  const auto folders = [&] {
    std::error_code error;
    std::size_t count = 0;
    for (fs::directory_iterator it(classFolder, error), end; !error && it != end;
         it.increment(error)) {
      ++count;
    }
    return count;
  };
  ASSERT_TRUE(Eventually([&] { return folders() >= 500; }, 60s, 1ms));
  add.Signal(SIGKILL);
  service->Signal(SIGKILL);
  add.Wait();
  service->Wait();
  const std::size_t foldersAtKill = folders();

  const Outcome list = Admin({"class", "list"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out, "C1\n");
  {
    testing::RawConnection check(DatabasePath());
    EXPECT_EQ(check.Column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
    const std::string students = check.Column("select count(*) from Users").at(0);
    // All or nothing; killed before the last folder, the add had not committed.
    EXPECT_TRUE(students == "0" || students == "5000") << students;
    if (foldersAtKill < 5000) {
      EXPECT_EQ(students, "0") << foldersAtKill << " folders made";
    }
  }
  // The add can be made again in full, and the service serves it.
  AdminOk({"student", "add", "C1"}, names);
  EXPECT_EQ(testing::RawConnection(DatabasePath()).Column("select count(*) from Users").at(0),
            "5000");
  StartService();
  EXPECT_TRUE(LoginPasses("s14999"));
}

TEST_F(FaultTest, KillingTheServiceMidPutNeverReplacesTheGoodFileNorLeavesItsTemporary) {
  const std::string mine = AddStudentLi();
  const std::string good = Pattern(1 << 20, 4);
  dir.Write("root/C1/Li/doc.bin", good);
  // A student's own file that merely looks like an upload's temporary is never touched.
  dir.Write("root/C1/Li/.orvo-upload-notes.txt", "mine");
  StartService();
  ASSERT_TRUE(LoginPasses("Li"));
  RawClient client(port);
  client.Send("PUT " + mine + "\\doc.bin\r\n" + net::EncodeCount(4 << 20) + Pattern(1 << 20, 5));
  // The temporary file holds what arrived, no more: no space is taken ahead of the bytes.
  ASSERT_TRUE(Eventually([&] {
    std::error_code error;
    for (const std::string& other : OthersIn(mine, "doc.bin")) {
      if (fs::file_size(fs::path(mine) / other, error) == (1u << 20)) return true;
    }
    return false;
  })) << "the upload is under way";
  service->Signal(SIGKILL);
  service->Wait();

  EXPECT_EQ(TempDir::Read(mine + "/doc.bin"), good);
  // A killed service cannot remove its temporary file; the next start does, and nothing else.
  StartService();
  EXPECT_EQ(OthersIn(mine, "doc.bin"), std::vector<std::string>{".orvo-upload-notes.txt"});
  ASSERT_TRUE(LoginPasses("Li"));
  EXPECT_EQ(Request("GET " + mine + "\\doc.bin"), Counted(good));
  const std::string replacement = Pattern(300000, 6);
  EXPECT_EQ(Request("PUT " + mine + "\\doc.bin", Counted(replacement)), "");
  EXPECT_EQ(Request("GET " + mine + "\\doc.bin"), Counted(replacement));
}

// ---- Stopping

// Idle connections spread over many student PCs (127.0.1.1, 127.0.1.2, ...), below the
// per-address cap; as many as `wanted` when this process may open `perConnection` descriptors for
// each, fewer where its open-files limit is lower.
std::vector<std::unique_ptr<RawClient>> IdleConnections(uint16_t port, std::size_t wanted,
                                                        std::size_t perConnection,
                                                        const std::string& partialLine) {
  const uint64_t limit = platform::RaiseDescriptorLimit();
  const std::size_t room =
      limit > 256 ? static_cast<std::size_t>((limit - 256) / perConnection) : 0;
  const std::size_t count = std::min(wanted, room);
  std::vector<std::unique_ptr<RawClient>> clients;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string source = "127.0.1." + std::to_string(1 + i / 40);
    clients.push_back(std::make_unique<RawClient>(port, "127.0.0.1", source));
    if (i % 2 == 0) clients.back()->Send(partialLine);  // a line begun and never ended
  }
  return clients;
}

TEST_F(FaultTest, ServiceWithThousandsOfIdleConnectionsStopsPromptlyOnSigterm) {
  StartService();
  auto clients = IdleConnections(port, 3000, 1, "GETSYS");
  ASSERT_GE(clients.size(), 500u) << "the open-files limit leaves too little room for the test";
  // Answered after the others were accepted: the service is holding all of them.
  ASSERT_EQ(Request("GETSYSLOG"), Counted("GETSYSLOG\r\n"));
  service->Signal(SIGTERM);
  const Outcome outcome = service->Wait(10s);
  EXPECT_EQ(outcome.status, 0) << "exited by itself within the limit: " << outcome.err;
  for (auto& client : clients) EXPECT_EQ(client->ReadToClose(), "");
}

TEST(StoppingTheServer, ThousandsOfIdleConnectionsTakeNoThreadsAndEndPromptly) {
  TempDir dir;
  core::ServiceState state;
  state.settings.RootPath.Set(dir.Path().string());
  // The thread sanitizer starts a helper thread of its own with the first thread of the process;
  // one thread run to its end first keeps that helper out of the count.
  std::thread([] {}).join();
  const std::size_t threadsBefore = ThreadsOfThisProcess();
  auto server = std::make_unique<net::TOrvoServer>(state);
  server->SetDefaultPort(0);
  server->SetActive(true);
  // Client and server ends both live in this process.
  auto clients = IdleConnections(server->BoundPort(), 2000, 2, "LIST " + dir.Path().string());
  ASSERT_GE(clients.size(), 250u) << "the open-files limit leaves too little room for the test";
  ASSERT_TRUE(Eventually([&] { return server->LiveConnections() == clients.size(); }))
      << server->LiveConnections();
  EXPECT_LE(ThreadsOfThisProcess(), threadsBefore + 2) << "waiting for a line takes no thread";

  const auto started = std::chrono::steady_clock::now();
  server.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore) << "every thread the server started ended";
  for (auto& client : clients) EXPECT_EQ(client->ReadToClose(), "");
}

}  // namespace
}  // namespace orvo
