// File access follows the login of the address a command comes from: a real service over a test
// database and a clock the tests step, with students at several loopback addresses.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net/Framing.h"
#include "platform/Clock.h"
#include "service/OrvoService.h"
#include "tests/support/RawClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo::service {
namespace {

using orvo::testing::Counted;
using orvo::testing::RawClient;
using orvo::testing::TempDir;
namespace fs = std::filesystem;

const std::string kEmptyListing(4, '\0');
constexpr char kLi[] = "127.0.0.2";
constexpr char kWu[] = "127.0.0.3";
constexpr char kStranger[] = "127.0.0.4";
constexpr uint32_t kMinute = 60'000;

class LoginAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    orvo::testing::CreateDatabaseFromSchema(dir / store::kDatabaseFileName);
    At(8, 10);  // Monday, in C1's lesson
    service = std::make_unique<OrvoService>(dir.Path().string(), 0, clock);
    service->Start();
    store::TOrvoDiskDb& db = *service->Db();
    db.SetSetting(Root(), Public(), 0, 1, 0);
    service->ReloadSettings();
    db.AddGroup("C1");
    db.AddGroup("C2");
    db.AddUser("Li", "C1");
    db.AddUser("Wu", "C1");
    db.AddUser("Zhao", "C2");
    db.AddTimeTable("1", "08:00", "08:45", "C1");
    dir.Write("public/handout.txt", "handout");
    dir.Write("root/C1/Li/essay.txt", "Li's essay");
    dir.Write("root/C1/Wu/essay.txt", "Wu's essay");
    port = service->Port();
  }
  void TearDown() override { service.reset(); }

  void At(int hour, int minute) {
    clock.SetNow({2026, 12, 7, hour, minute, 0, 0, 1});
    // Far enough on that the gate and every login are evaluated again.
    clock.AdvanceTicks(2 * kMinute);
  }

  std::string Root() const { return dir / "root"; }
  fs::path Local(const std::string& tree, const std::string& relative) const {
    return fs::path(dir / tree) / relative;
  }
  std::string Public() const { return dir / "public"; }
  // A client path of the served trees, with the backslashes a Windows client writes.
  std::string In(const std::string& tree, const std::string& relative) const {
    std::string path = dir / tree;
    for (const char c : relative) path += c == '/' ? '\\' : c;
    return path;
  }

  std::string Request(const std::string& from, const std::string& line,
                      const std::string& extra = {}) {
    return RawClient::RequestFrom(port, from, line, extra);
  }
  bool LogIn(const std::string& from, const std::string& student,
             const std::string& password = "907183") {
    return RawClient::LogInFrom(port, from, "C1", student, password);
  }
  std::string Listing(const std::string& from, const std::string& pattern) {
    return Request(from, "LIST " + pattern);
  }
  bool Reads(const std::string& from, const std::string& path, const std::string& content) {
    return Request(from, "GET " + path) == Counted(content);
  }

  TempDir dir;
  platform::ManualClock clock;
  std::unique_ptr<OrvoService> service;
  uint16_t port = 0;
};

// Every file command from `from` against Wu's folder, the class folder, the root and the public
// folder: whether it took effect.
struct Reach {
  bool list, get, put, mkdir, remove, move;
};

TEST_F(LoginAccess, FileCommandsReachOnlyTheLoggedInStudentsFolderAndThePublicFolder) {
  ASSERT_TRUE(LogIn(kLi, "Li"));
  const struct {
    const char* where;
    std::string tree;
    bool reached;
  } cases[] = {
      {"own folder", "root/C1/Li/", true},
      {"public folder", "public/", true},
      {"classmate's folder", "root/C1/Wu/", false},
      {"class folder", "root/C1/", false},
      {"root folder", "root/", false},
      {"another class", "root/C2/Zhao/", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    const std::string file = In(c.tree, "new.txt");
    Request(kLi, "PUT " + file, Counted("mine"));
    EXPECT_EQ(fs::exists(Local(c.tree, "new.txt")), c.reached);
    EXPECT_EQ(Listing(kLi, In(c.tree, "*")) != kEmptyListing, c.reached);
    EXPECT_EQ(Reads(kLi, file, "mine"), c.reached);
    Request(kLi, "MKDIR " + In(c.tree, "made/deeper"));
    EXPECT_EQ(fs::is_directory(Local(c.tree, "made/deeper")), c.reached);
    Request(kLi, "MOVE " + file + "|" + In(c.tree, "moved.txt"));
    EXPECT_EQ(fs::exists(Local(c.tree, "moved.txt")), c.reached);
    Request(kLi, "DELETE " + In(c.tree, "moved.txt"));
    EXPECT_FALSE(fs::exists(Local(c.tree, "moved.txt")));
  }
  // The classmate's essay is neither read, taken by MOVE, replaced nor deleted.
  const std::string wus = In("root/C1/Wu/", "essay.txt");
  EXPECT_EQ(Request(kLi, "GET " + wus), "");
  Request(kLi, "MOVE " + wus + "|" + In("root/C1/Li/", "taken.txt"));
  Request(kLi, "MOVE " + In("root/C1/", "Wu") + "|" + In("root/C1/Li/", "Wu"));
  Request(kLi, "PUT " + wus, Counted("replaced"));
  Request(kLi, "DELETE " + wus);
  EXPECT_EQ(TempDir::Read(dir / "root/C1/Wu/essay.txt"), "Wu's essay");
  EXPECT_FALSE(fs::exists(dir / "root/C1/Li/taken.txt"));
  // Nor is the own folder itself removed or moved away.
  Request(kLi, "MOVE " + In("root/C1/", "Li") + "|" + In("public/", "Li"));
  EXPECT_TRUE(fs::exists(dir / "root/C1/Li/essay.txt"));
  // Listing the root names no login id.
  EXPECT_EQ(Listing(kLi, In("root/", "*")), kEmptyListing);
  EXPECT_EQ(Listing(kLi, In("root/C1/", "*")), kEmptyListing);
}

TEST_F(LoginAccess, AnAddressWithoutALoginGetsTheFailedAnswerAndChangesNothing) {
  ASSERT_TRUE(LogIn(kLi, "Li"));
  // Another address, never logged in: not even the public folder.
  EXPECT_EQ(Listing(kStranger, In("public/", "*")), kEmptyListing);
  EXPECT_EQ(Request(kStranger, "GET " + In("public/", "handout.txt")), "");
  EXPECT_EQ(Request(kStranger, "GET " + In("root/C1/Li/", "essay.txt")), "");
  Request(kStranger, "PUT " + In("public/", "handout.txt"), Counted("forged"));
  Request(kStranger, "DELETE " + In("root/C1/Li/", "essay.txt"));
  Request(kStranger, "MKDIR " + In("public/", "x"));
  Request(kStranger, "MOVE " + In("root/C1/Li/", "essay.txt") + "|" + In("public/", "e.txt"));
  EXPECT_EQ(TempDir::Read(dir / "public/handout.txt"), "handout");
  EXPECT_EQ(TempDir::Read(dir / "root/C1/Li/essay.txt"), "Li's essay");
  EXPECT_FALSE(fs::exists(dir / "public/x"));
  EXPECT_FALSE(fs::exists(dir / "public/e.txt"));
  // A refused login opens nothing either.
  EXPECT_FALSE(LogIn(kStranger, "Wu", "wrong"));
  EXPECT_EQ(Listing(kStranger, In("public/", "*")), kEmptyListing);
}

TEST_F(LoginAccess, TheNextLoginOfAnAddressReplacesItsLoginAndARefusedOneLeavesIt) {
  ASSERT_TRUE(LogIn(kLi, "Li"));
  EXPECT_FALSE(LogIn(kLi, "Wu", "wrong"));
  EXPECT_TRUE(Reads(kLi, In("root/C1/Li/", "essay.txt"), "Li's essay")) << "still Li's";
  ASSERT_TRUE(LogIn(kLi, "Wu"));
  EXPECT_TRUE(Reads(kLi, In("root/C1/Wu/", "essay.txt"), "Wu's essay"));
  EXPECT_EQ(Request(kLi, "GET " + In("root/C1/Li/", "essay.txt")), "") << "Li's login is over";
  const auto online = service->Server()->OnlineLogins();
  ASSERT_EQ(online.size(), 1u);
  EXPECT_EQ(online[0].address, kLi);
  EXPECT_EQ(online[0].login.group, "C1");
  EXPECT_EQ(online[0].login.name, "Wu");
  EXPECT_EQ(online[0].login.rootPath, Root() + "\\C1\\Wu");
  EXPECT_GT(online[0].login.id, 0);
  EXPECT_EQ(online[0].login.time.hour, 8);
  EXPECT_EQ(online[0].commands, 2u);
  EXPECT_EQ(online[0].lastCommand, "GET " + In("root/C1/Li/", "essay.txt"));
}

TEST_F(LoginAccess, ALoginLastsTheLessonAndTheGraceTimeUnlessThePauseHoldsIt) {
  const std::string essay = In("root/C1/Li/", "essay.txt");
  ASSERT_TRUE(LogIn(kLi, "Li"));
  At(8, 55);  // after the bell, within the 15 minutes of grace
  EXPECT_TRUE(Reads(kLi, essay, "Li's essay"));
  At(9, 1);
  EXPECT_EQ(Request(kLi, "GET " + essay), "") << "the grace time is over";
  EXPECT_TRUE(service->Server()->OnlineLogins().empty());

  // The grace time is an option.
  service->Db()->SetOption("LoginGraceMinutes", "30");
  service->ReloadSettings();
  At(8, 10);
  ASSERT_TRUE(LogIn(kLi, "Li"));
  At(9, 10);
  EXPECT_TRUE(Reads(kLi, essay, "Li's essay"));
  At(9, 16);
  EXPECT_TRUE(service->Server()->OnlineLogins().empty()) << "ended without another command";

  // While the gate is paused no login ends by time.
  service->Db()->SetStopTimeTable(true);
  ASSERT_TRUE(LogIn(kLi, "Li"));
  At(23, 0);
  EXPECT_TRUE(Reads(kLi, essay, "Li's essay"));
}

TEST_F(LoginAccess, ALoginEndsWhenTheOperatorEndsItOrTheStudentOrClassIsDeleted) {
  const std::string essay = In("root/C1/Li/", "essay.txt");
  const auto loggedInReads = [&](const char* from, const char* student) {
    return LogIn(from, student) &&
           Reads(from, In(std::string("root/C1/") + student + "/", "essay.txt"),
                 std::string(student) + "'s essay");
  };
  ASSERT_TRUE(loggedInReads(kLi, "Li"));
  ASSERT_TRUE(loggedInReads(kWu, "Wu"));
  EXPECT_TRUE(service->Server()->EndLogin(kLi));
  EXPECT_EQ(Request(kLi, "GET " + essay), "");
  EXPECT_TRUE(Reads(kWu, In("root/C1/Wu/", "essay.txt"), "Wu's essay")) << "others stay";
  EXPECT_EQ(service->Server()->EndAllLogins(), 1u);
  EXPECT_EQ(Request(kWu, "GET " + In("root/C1/Wu/", "essay.txt")), "");

  // Deleted in the database by another program: the next check after a reload ends it.
  ASSERT_TRUE(loggedInReads(kLi, "Li"));
  ASSERT_TRUE(loggedInReads(kWu, "Wu"));
  service->Db()->DeleteUser("Li", "C1");
  service->ReloadSettings();
  EXPECT_EQ(Request(kLi, "GET " + essay), "");
  EXPECT_TRUE(Reads(kWu, In("root/C1/Wu/", "essay.txt"), "Wu's essay"));
  service->Db()->DeleteGroup("C1");
  clock.AdvanceTicks(2 * kMinute);  // without a reload, within a minute
  EXPECT_EQ(Request(kWu, "GET " + In("root/C1/Wu/", "essay.txt")), "");
}

TEST_F(LoginAccess, RepeatedWrongPasswordsBlockOnlyTheGuessingAddressForAWhile) {
  // Refusals before the lesson are no guesses and block nothing.
  At(7, 0);
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(LogIn(kStranger, "Li"));
  At(8, 10);
  ASSERT_TRUE(LogIn(kStranger, "Li"));

  for (int i = 0; i < 5; ++i) EXPECT_FALSE(LogIn(kStranger, "Li", "guess" + std::to_string(i)));
  EXPECT_FALSE(LogIn(kStranger, "Li")) << "blocked: even the right password is refused";
  EXPECT_TRUE(LogIn(kLi, "Li")) << "the student at their own PC is not locked out";
  const auto blocked = service->Server()->BlockedAddresses();
  ASSERT_EQ(blocked.size(), 1u);
  EXPECT_EQ(blocked[0].address, kStranger);
  EXPECT_GT(blocked[0].msLeft, 4 * kMinute);
  // A blocked LOGIN does not reach the database: a locked database would end it unanswered.
  {
    orvo::testing::RawConnection other(dir / store::kDatabaseFileName);
    other.Exec("begin exclusive");
    EXPECT_EQ(Request(kStranger, "LOGIN C1 Li 907183"), Counted(""));
    other.Exec("rollback");
  }
  clock.AdvanceTicks(5 * kMinute);
  EXPECT_TRUE(LogIn(kStranger, "Li")) << "the block runs out";

  // Guesses spread wider than the window never block; the operator can lift a block at once.
  for (int i = 0; i < 12; ++i) {
    EXPECT_FALSE(LogIn(kWu, "Wu", "guess"));
    clock.AdvanceTicks(2 * kMinute);
  }
  EXPECT_TRUE(LogIn(kWu, "Wu"));
  for (int i = 0; i < 5; ++i) LogIn(kWu, "Wu", "guess");
  EXPECT_FALSE(LogIn(kWu, "Wu"));
  EXPECT_TRUE(service->Server()->Unblock(kWu));
  EXPECT_TRUE(LogIn(kWu, "Wu"));
}

TEST_F(LoginAccess, PasswordChangeNeedsALiveLoginAndANonEmptyPassword) {
  ASSERT_TRUE(LogIn(kLi, "Li"));
  for (const char* empty : {"CHGPSW C1 Li ", "CHGPSW C1 Li"}) Request(kLi, empty);
  EXPECT_FALSE(Request(kStranger, "LOGIN C1 Li ").size() > 4) << "no login without a password";
  EXPECT_TRUE(LogIn(kWu, "Li"));
  At(9, 30);  // the login has ended with the lesson
  Request(kLi, "CHGPSW C1 Li late");
  service->Db()->SetStopTimeTable(true);
  EXPECT_FALSE(LogIn(kWu, "Li", "late"));
  ASSERT_TRUE(LogIn(kLi, "Li"));
  Request(kLi, "CHGPSW C1 Li fresh");
  EXPECT_TRUE(LogIn(kWu, "Li", "fresh"));
}

TEST_F(LoginAccess, TheLogIsForTheServicesHostAndNamedAddressesAndKeepsOneLinePerCommand) {
  Request(kLi, "LOGIN C1 Li\t907183");
  Request(kLi, "CHGPSW C1 Li\x0bsecret");
  Request(kLi, "GETSYSLOG\nLOGIN C1 Wu forged");
  EXPECT_EQ(Request(kLi, "GETSYSLOG"), Counted("")) << "a student's PC gets the empty list";
  const std::string log = Request("127.0.0.1", "GETSYSLOG");
  EXPECT_EQ(log, Counted("LOGIN C1 Li ******\r\n"
                         "CHGPSW C1 Li ******\r\n"
                         "GETSYSLOG\\nLOGIN C1 Wu forged\r\n"
                         "GETSYSLOG\r\n"
                         "GETSYSLOG\r\n"));
  service->Db()->SetOption("SysLogHosts", "127.0.0.9, 127.0.0.8");
  service->ReloadSettings();
  EXPECT_GT(Request("127.0.0.8", "GETSYSLOG").size(), 4u);
  EXPECT_EQ(Request(kLi, "GETSYSLOG"), Counted(""));
}

}  // namespace
}  // namespace orvo::service
