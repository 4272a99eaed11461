#include "store/OrvoDiskDbUnit.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/SettingsValues.h"
#include "platform/FileSystem.h"
#include "platform/Utf8Path.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo::store {
namespace {

using orvo::testing::CreateDatabaseFromSchema;
using orvo::testing::RawConnection;
using orvo::testing::TempDir;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

fs::path U8(const std::string& utf8) {
  return platform::Utf8Path(utf8);
}

class OrvoDiskDbTest : public ::testing::Test {
 protected:
  OrvoDiskDbTest()
      : path_(CreateDatabaseFromSchema(dir_ / "orvoDisk.db")),
        raw_(path_),
        db_(std::make_unique<TOrvoDiskDb>(path_, settings_)) {}

  // Student folders go under <temp>/root.
  std::string UseRootFolder() {
    const std::string root = dir_ / "root";
    settings_.RootPath.Set(root);
    return root;
  }

  Names UserList(const std::string& group) {
    Names names;
    db_->UserList(group, names);
    return names;
  }

  Names Groups() {
    Names names;
    db_->GroupListAdmin(names);
    return names;
  }

  Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir dir_;
  core::SettingsValues settings_;
  std::string path_;
  RawConnection raw_;
  std::unique_ptr<TOrvoDiskDb> db_;
};

TEST_F(OrvoDiskDbTest, ClassesAreAddedOnceTrimmedAndDeletingOneKeepsItsStudents) {
  EXPECT_EQ(db_->AddGroup("3A").added, Names{"3A"});
  EXPECT_EQ(db_->AddGroup("O'Neil班").added, Names{"O'Neil班"});
  EXPECT_EQ(db_->AddGroup(" 高一2班\t").added, Names{"高一2班"});
  // Letter case does not tell classes apart: the gate admits "3a" for a lesson of "3A".
  for (const char* again : {"3A", "3a", " 3A "}) {
    const AddResult result = db_->AddGroup(again);
    EXPECT_TRUE(result.added.empty()) << again;
    EXPECT_EQ(result.present, Names{"3A"}) << again;
  }
  for (const char* bad : {"", " ", "高一 2班"}) {
    const AddResult result = db_->AddGroup(bad);
    ASSERT_EQ(result.refused.size(), 1u) << bad;
    EXPECT_EQ(result.refused[0].name, bad);
    EXPECT_FALSE(result.refused[0].reason.empty());
  }
  Names list = {"stale line"};
  db_->GroupListAdmin(list);
  EXPECT_EQ(list, (Names{"3A", "O'Neil班", "高一2班"}))
      << "list is cleared, rows in insertion order";

  Names students = {"Wang", "Li"};
  db_->AddUser(students, "3A");
  db_->DeleteGroup("3A");
  db_->DeleteGroup("no such class");
  EXPECT_EQ(Groups(), (Names{"O'Neil班", "高一2班"}));
  EXPECT_EQ(Sorted(UserList("3A")), (Names{"Li", "Wang"}));
}

TEST_F(OrvoDiskDbTest, PastedListIsTrimmedAndAddsItsGoodNamesWhateverElseItHolds) {
  const std::string root = UseRootFolder();
  db_->AddUser("Zhao", "3A");
  db_->AddUser("Wang", "3B");  // another class's Wang does not count

  // As pasted from a spreadsheet column: blanks and line ends around names, blank lines.
  Names list = {"Wang", "", "Li ", "Zhao", "Wang\r", " ", "li", "Li Ming", "李䶮", "\t彭浩宇\r"};
  const AddResult result = db_->AddUser(list, "3A");
  EXPECT_EQ(result.added, (Names{"Wang", "Li", "彭浩宇"}));
  EXPECT_EQ(list, result.added) << "the list is left holding the names added";
  // A repeat would give two rows of one login id, and neither student could log in.
  EXPECT_EQ(result.present, (Names{"Zhao", "Wang"}));
  ASSERT_EQ(result.refused.size(), 3u);
  // On a file system that ignores letter case, "li" would share the folder of "Li".
  EXPECT_EQ(result.refused[0].name, "li");
  EXPECT_NE(result.refused[0].reason.find("大小写"), std::string::npos);
  EXPECT_EQ(result.refused[1].name, "Li Ming");
  EXPECT_NE(result.refused[1].reason.find("Li Ming"), std::string::npos);
  EXPECT_EQ(result.refused[2].name, "李䶮");

  EXPECT_EQ(Sorted(UserList("3A")), (Names{"Li", "Wang", "Zhao", "彭浩宇"}));
  for (const char* name : {"Wang", "Li", "Zhao", "彭浩宇"}) {
    EXPECT_TRUE(fs::is_directory(fs::path(root) / "3A" / U8(name))) << name;
  }
  // The names as the folder holds them: Windows would find "Li " as "Li", so exists() cannot
  // tell.
  Names folders;
  for (const auto& entry : fs::directory_iterator(fs::path(root) / "3A")) {
    const std::u8string name = entry.path().filename().u8string();
    folders.emplace_back(name.begin(), name.end());
  }
  EXPECT_EQ(Sorted(folders), Sorted(Names{"Wang", "Li", "Zhao", "彭浩宇"}))
      << "folders take the trimmed name; a refused name gets none";

  db_->DeleteUser("Wang", "3A");
  EXPECT_EQ(Sorted(UserList("3A")), (Names{"Li", "Zhao", "彭浩宇"}));
  // A student already stored counts as well.
  const AddResult twin = db_->AddUser("ZHAO", "3A");
  EXPECT_TRUE(twin.added.empty());
  ASSERT_EQ(twin.refused.size(), 1u);
  EXPECT_EQ(twin.refused[0].name, "ZHAO");
  EXPECT_TRUE(fs::is_directory(fs::path(root) / "3A" / "Wang")) << "the folder stays";
  EXPECT_EQ(UserList("3B"), Names{"Wang"});
}

TEST_F(OrvoDiskDbTest, ListOfNamesTheClassHasInsertsNothingAndLeavesNoTransactionOpen) {
  db_->AddUser("Wang", "3A");
  db_->AddUser("Li", "3A");
  Names list = {"Li", "", "Wang"};
  db_->AddUser(list, "3A");
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(raw_.Column("select count(*) from Users"), Names{"2"});
  EXPECT_NO_THROW(raw_.Exec("insert into Groups values ('x')")) << "the file is not held";

  Names empty;
  EXPECT_NO_THROW(db_->AddUser(empty, "3A"));
}

TEST_F(OrvoDiskDbTest, SingleAddTrimsRefusesAnEmptyNameAndMakesItsFolder) {
  const std::string root = UseRootFolder();
  EXPECT_EQ(db_->AddUser("Li ", "3A").added, Names{"Li"});
  EXPECT_EQ(db_->AddUser("Li", "3A").present, Names{"Li"});
  for (const char* empty : {"", " \r"}) {
    const AddResult result = db_->AddUser(empty, "3A");
    ASSERT_EQ(result.refused.size(), 1u);
    EXPECT_EQ(result.refused[0].reason, "学生姓名为空");
  }
  EXPECT_EQ(UserList("3A"), Names{"Li"});
  EXPECT_TRUE(fs::is_directory(fs::path(root) / "3A" / "Li"));
}

TEST_F(OrvoDiskDbTest, QuotesAndChineseNamesAreStoredAndFoundExactly) {
  const Names names = {"O'Neil", "王小明", "a''b", "x'OR'1'='1", "x');DROP"};
  for (const std::string group : {"O'Class", "初一(3)班"}) {
    Names list = names;
    db_->AddUser(list, group);
    ASSERT_EQ(list, names) << group;

    const auto rows = db_->Students(group);
    ASSERT_EQ(rows.size(), names.size());
    std::set<int32_t> ids;
    for (const auto& row : rows) {
      EXPECT_EQ(row.groupName, group);
      EXPECT_EQ(row.userId, row.userName) << "the login id is the name";
      EXPECT_EQ(row.password, kDefaultPassword);
      ids.insert(row.id);
    }
    EXPECT_EQ(ids.size(), names.size()) << "every row has its own engine-made Id";
    EXPECT_EQ(Sorted(UserList(group)), Sorted(names));

    list = names;
    db_->AddUser(list, group);
    EXPECT_TRUE(list.empty()) << "the existence test finds every name again";

    EXPECT_TRUE(db_->ChangePSW(group, "O'Neil", "it's new"));
    for (const auto& name : names) db_->DeleteUser(name, group);
    EXPECT_TRUE(UserList(group).empty()) << group;
  }
  EXPECT_EQ(raw_.Column("select count(*) from Users"), Names{"0"});
}

TEST_F(OrvoDiskDbTest, ChangePasswordTouchesOnlyThatClassAndLoginAndAlwaysSaysYes) {
  db_->AddUser("Wang", "3A");
  db_->AddUser("Wang", "3B");
  db_->AddUser("Li", "3A");
  EXPECT_TRUE(db_->ChangePSW("3A", "Wang", "secret"));
  EXPECT_TRUE(db_->ChangePSW("3A", "Nobody", "x")) << "true also when nothing matched";
  EXPECT_TRUE(db_->ChangePSW("3B", "Wang", ""));
  EXPECT_EQ(raw_.Column("select GroupName || '/' || UserId || '=' || PassWord from Users "
                        "order by Id"),
            (Names{"3A/Wang=secret", "3B/Wang=", "3A/Li=907183"}));
}

TEST_F(OrvoDiskDbTest, StudentNamesWithSeparatorsAreRefusedButAnOlderClassNestsItsFolder) {
  const std::string root = UseRootFolder();  // not made yet: every level is created
  Names list = {"a\\b", "王小明", "..\\..\\escaped", "x/../../escaped2", "ok..name"};
  // A class stored before the rule, with a backslash the client sends as a separator.
  const AddResult result = db_->AddUser(list, "初一\\3班");
  EXPECT_EQ(result.added, (Names{"王小明", "ok..name"}));
  EXPECT_EQ(result.refused.size(), 3u);
  EXPECT_TRUE(fs::is_directory(fs::path(root) / U8("初一") / U8("3班") / U8("王小明")));
  EXPECT_FALSE(fs::exists(fs::path(root) / U8("初一") / U8("3班") / "a"));
  EXPECT_FALSE(fs::exists(fs::path(root).parent_path() / "escaped"));
  EXPECT_FALSE(fs::exists(fs::path(root).parent_path() / "escaped2"));
}

TEST_F(OrvoDiskDbTest, StudentsOfAnOlderClassThatClimbsOutGetARowButNoFolder) {
  const std::string root = UseRootFolder();
  Names list = {"outside"};
  db_->AddUser(list, "..");
  EXPECT_EQ(UserList(".."), Names{"outside"});
  EXPECT_FALSE(fs::exists(fs::path(root).parent_path() / "outside"));
}

TEST_F(OrvoDiskDbTest, StudentIsAddedWhenItsFolderCannotBeMade) {
  dir_.Write("root/3A", "a file where the class folder should be");
  settings_.RootPath.Set(dir_ / "root");
  Names list = {"Li"};
  EXPECT_NO_THROW(db_->AddUser(list, "3A"));
  EXPECT_EQ(UserList("3A"), Names{"Li"});

  // Without a root folder the path would start at "/": nothing is made there.
  settings_.RootPath.Set("");
  const std::string group = "orvo-test-" + dir_.Path().filename().string();
  list = {"Li"};
  db_->AddUser(list, group);
  EXPECT_EQ(UserList(group), Names{"Li"});
  EXPECT_FALSE(fs::exists(fs::path("/") / group));
}

TEST_F(OrvoDiskDbTest, FailingInsertKeepsTheStudentsAddedBeforeIt) {
  const std::string root = UseRootFolder();
  raw_.Exec(
      "CREATE TRIGGER RefuseBad BEFORE INSERT ON Users WHEN NEW.UserName = 'Bad' "
      "BEGIN SELECT RAISE(ABORT, 'Bad is refused'); END;");
  Names list = {"A", "Bad", "C"};
  try {
    db_->AddUser(list, "3A");
    FAIL() << "the trigger did not fire";
  } catch (const DbError& error) {
    EXPECT_STREQ(error.what(), "Bad is refused");
  }
  EXPECT_EQ(list, (Names{"A", "Bad", "C"})) << "the list was filtered, nothing more";
  EXPECT_EQ(raw_.Column("select UserName from Users"), Names{"A"}) << "committed for all to see";
  EXPECT_TRUE(fs::is_directory(fs::path(root) / "3A" / "A"));
  EXPECT_FALSE(fs::exists(fs::path(root) / "3A" / "C"));

  // The connection is back to normal: no transaction left open, no lock on the file.
  EXPECT_NO_THROW(raw_.Exec("DROP TRIGGER RefuseBad"));
  list = {"C"};
  db_->AddUser(list, "3A");
  EXPECT_EQ(raw_.Column("select UserName from Users order by Id"), (Names{"A", "C"}));
}

TEST_F(OrvoDiskDbTest, FailureReachesTheCallerWithTheLockReleased) {
  raw_.Exec("DROP TABLE Groups");
  Names list;
  try {
    db_->GroupListAdmin(list);
    FAIL();
  } catch (const DbError& error) {
    EXPECT_STREQ(error.what(), "no such table: Groups");
  }
  // A lock left held would keep another thread's operation waiting for good.
  int32_t weekday = 0;
  std::thread([&] { weekday = db_->CurrWeekTemp(); }).join();
  EXPECT_EQ(weekday, -1);
}

TEST_F(OrvoDiskDbTest, UsableFileNeedsEachOfTheFourTables) {
  EXPECT_NO_THROW(db_->CheckUsable());
  for (const std::string table : {"Setting", "Groups", "Users", "TimeTable"}) {
    SCOPED_TRACE(table);
    raw_.Exec("ALTER TABLE " + table + " RENAME TO Kept");
    try {
      db_->CheckUsable();
      ADD_FAILURE() << "usable without " << table;
    } catch (const DbError& error) {
      EXPECT_EQ(error.what(), "no such table: " + table);
    }
    raw_.Exec("ALTER TABLE Kept RENAME TO " + table);
  }
}

TEST_F(OrvoDiskDbTest, TimetableTableIsCreatedWhereMissingAndRefusedWhereItExists) {
  EXPECT_THROW(db_->CreateTimeTableTable(), DbError);
  raw_.Exec("DROP TABLE TimeTable");
  db_->CreateTimeTableTable();
  db_->AddTimeTable("1", "08:00", "08:45", "3A");
  const std::vector<TimeTableRow> rows = db_->TimeTableRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].id, 1) << "the engine numbers the rows";
  EXPECT_EQ(rows[0].groupName, "3A");
  EXPECT_NO_THROW(db_->CheckUsable());
}

TEST_F(OrvoDiskDbTest, SettingsAreInsertedOnceThenUpdated) {
  std::string root = "unchanged", pub = "unchanged";
  int32_t groupList = 7, userList = 7, autoRun = 7;
  db_->GetSetting(root, pub, groupList, userList, autoRun);
  EXPECT_EQ(root, "unchanged");
  EXPECT_EQ(pub, "unchanged");
  EXPECT_EQ(groupList + userList + autoRun, 21) << "an empty table changes nothing";

  const std::string row =
      "select RootPath || '|' || PublicPath || '|' || GroupList || UserList || "
      "AutoRun from Setting";
  db_->SetSetting("/srv/stu", "/srv/pub", 0, 1, 0);
  EXPECT_EQ(raw_.Column(row), Names{"/srv/stu|/srv/pub|010"});
  db_->SetSetting("/srv/O'Neil", "/公共", 1, 0, 1);
  EXPECT_EQ(raw_.Column(row), Names{"/srv/O'Neil|/公共|101"}) << "the one row, updated";

  db_->GetSetting(root, pub, groupList, userList, autoRun);
  EXPECT_EQ(root, "/srv/O'Neil");
  EXPECT_EQ(pub, "/公共");
  EXPECT_EQ(groupList, 1);
  EXPECT_EQ(userList, 0);
  EXPECT_EQ(autoRun, 1);
}

TEST_F(OrvoDiskDbTest, SavingUpdatesEverySettingRowAndTheFirstIsRead) {
  raw_.Exec("insert into Setting values ('/first', '/p1', 0, 0, 0), ('/second', '/p2', 1, 1, 1)");
  std::string root, pub;
  int32_t groupList = -1, userList = -1, autoRun = -1;
  db_->GetSetting(root, pub, groupList, userList, autoRun);
  EXPECT_EQ(root, "/first");
  EXPECT_EQ(groupList, 0);

  db_->SetSetting("/new", "/pub", 1, 0, 1);
  EXPECT_EQ(raw_.Column("select RootPath || PublicPath || GroupList || UserList || AutoRun "
                        "from Setting"),
            (Names{"/new/pub101", "/new/pub101"}));
}

TEST_F(OrvoDiskDbTest, UserListAppendsToWhatTheListHolds) {
  db_->AddUser("Li", "3A");
  Names list = {"earlier"};
  db_->UserList("3A", list);
  db_->UserList("nobody's class", list);
  EXPECT_EQ(list, (Names{"earlier", "Li"}));
}

TEST_F(OrvoDiskDbTest, ReadersOnOtherThreadsSeeWholeListAddsOnly) {
  constexpr int kLists = 40;
  constexpr int kPerList = 3;
  std::atomic<bool> writing{true};
  std::atomic<int> failures{0};

  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&, r] {
      std::size_t seen = 0;
      int round = 0;
      do {
        try {
          Names names;
          db_->UserList("3A", names);
          const std::set<std::string> unique(names.begin(), names.end());
          // A list add holds the lock from its first test to its commit: never half of one.
          if (names.size() % kPerList != 0 || names.size() < seen ||
              unique.size() != names.size()) {
            ++failures;
          }
          seen = names.size();
          if (!db_->ChangePSW("3A", "S0-0",
                              "p" + std::to_string(r) + "-" + std::to_string(round++))) {
            ++failures;
          }
          for (const auto& row : db_->Students("3A")) {
            if (row.groupName != "3A" || row.userId != row.userName) ++failures;
          }
        } catch (const std::exception&) {
          ++failures;
        }
      } while (writing.load());
    });
  }
  std::thread writer([&] {
    try {
      for (int l = 0; l < kLists; ++l) {
        Names list;
        for (int s = 0; s < kPerList; ++s) {
          list.push_back("S" + std::to_string(l) + "-" + std::to_string(s));
        }
        db_->AddUser(list, "3A");
        if (list.size() != kPerList) ++failures;
      }
    } catch (const std::exception&) {
      ++failures;
    }
    writing = false;
  });
  writer.join();
  for (auto& reader : readers) reader.join();

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(UserList("3A").size(), static_cast<std::size_t>(kLists * kPerList));
  const Names password = raw_.Column("select PassWord from Users where UserId='S0-0'");
  ASSERT_EQ(password.size(), 1u);
  EXPECT_TRUE(password[0] == kDefaultPassword || password[0].front() == 'p') << password[0];
}

TEST(CreateFolderPath, MakesEveryMissingLevel) {
  TempDir dir;
  EXPECT_TRUE(platform::CreateFolderPath(dir / "a/b/c"));
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
  EXPECT_TRUE(platform::CreateFolderPath(dir / "a/b/c")) << "an existing folder is success";
  EXPECT_TRUE(platform::CreateFolderPath(dir / "a//d/"));
  EXPECT_TRUE(fs::is_directory(dir / "a/d"));

  const std::string file = dir.Write("file", "x");
  EXPECT_FALSE(platform::CreateFolderPath(file));
  EXPECT_FALSE(platform::CreateFolderPath(file + "/below"));
  EXPECT_FALSE(platform::CreateFolderPath(""));
}

}  // namespace
}  // namespace orvo::store
