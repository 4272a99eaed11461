#include "store/SimpleDbUnit.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "store/CreateDatabase.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo::store {
namespace {

using orvo::testing::CreateDatabaseFromSchema;
using orvo::testing::RawConnection;
using orvo::testing::TempDir;
namespace fs = std::filesystem;

class SimpleDbTest : public ::testing::Test {
 protected:
  SimpleDbTest()
      : path_(CreateDatabaseFromSchema(dir_ / "orvoDisk.db")),
        raw_(path_),
        db_(path_, orvo::testing::kShortBusyTimeout) {}

  std::vector<std::string> Walk(const std::string& column) {
    std::vector<std::string> values;
    for (TQuery& query = db_.Query(); !query.Eof(); query.Next()) {
      values.push_back(query.FieldByName(column).AsString());
    }
    return values;
  }

  TempDir dir_;
  std::string path_;
  RawConnection raw_;
  TSimpleDb db_;
};

// Opening is the constructor's own work: no overridable step that a derived class would find
// skipped while the base is being built.
static_assert(!std::is_polymorphic_v<TSimpleDb>, "TSimpleDb has no virtual steps");

TEST(SimpleDbOpen, MissingFileFailsWithTheEngineMessageAndIsNotCreated) {
  TempDir dir;
  const std::string path = dir / "orvoDisk.db";
  try {
    TSimpleDb db(path);
    FAIL() << "opened a missing file";
  } catch (const DbError& error) {
    EXPECT_STREQ(error.what(), "unable to open database file");
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::is_empty(dir.Path())) << "no journal or other file either";
}

TEST_F(SimpleDbTest, StatementsAreBuiltInTheirFixedShapes) {
  struct Case {
    std::function<void(TSimpleDb&)> run;
    std::string statement;
  };
  const std::vector<Case> cases = {
      {[](TSimpleDb& db) { db.Select("Groups"); }, "select * from Groups"},
      {[](TSimpleDb& db) { db.Select("Groups", "GroupName='3A'"); },
       "select * from Groups where GroupName='3A'"},
      {[](TSimpleDb& db) { db.Select("Groups", "GroupName", "'3A'"); },
       "select * from Groups where GroupName='3A'"},
      {[](TSimpleDb& db) { db.Insert("Groups", {"GroupName"}, {"'3A'"}); },
       "insert into Groups (GroupName) values ('3A');"},
      {[](TSimpleDb& db) {
         db.Insert("Setting", {"RootPath", "PublicPath", "GroupList", "UserList"},
                   {"'r'", "'p'", "0", "1"});
       },
       "insert into Setting (RootPath,PublicPath,GroupList,UserList) values ('r','p',0,1);"},
      {[](TSimpleDb& db) {
         db.Update("Setting", {"GroupList", "UserList"}, {"0", "1"});
       },
       "update Setting SET GroupList=0,UserList=1;"},
      {[](TSimpleDb& db) { db.Update("Users", {"Password"}, {"'x'"}, "GroupName='3A'"); },
       "update Users SET Password='x' WHERE GroupName='3A';"},
      {[](TSimpleDb& db) { db.Delete("Groups", "GroupName='3A'"); },
       "delete FROM Groups WHERE GroupName='3A';"},
      {[](TSimpleDb& db) { db.DeleteAll("Groups"); }, "delete FROM Groups;"},
  };
  for (const Case& c : cases) {
    c.run(db_);
    EXPECT_EQ(db_.Query().SQL(), std::vector<std::string>{c.statement});
  }
}

TEST_F(SimpleDbTest, SelectCountsTheMatchesAndLeavesTheCursorOnTheFirst) {
  EXPECT_EQ(db_.Select("Groups"), 0);
  EXPECT_TRUE(db_.Query().Eof()) << "an empty result is at its end at once";
  EXPECT_EQ(db_.Query().FieldByName("GroupName").AsString(), "");

  raw_.Exec("insert into Groups values ('A'),('B'),('C'),('D'),('E')");
  EXPECT_EQ(db_.Select("Groups", "GroupName in ('B','C','D')"), 3);
  EXPECT_FALSE(db_.Query().Eof());
  EXPECT_EQ(db_.Query().FieldByName("GroupName").AsString(), "B");
  EXPECT_EQ(Walk("GroupName"), (std::vector<std::string>{"B", "C", "D"}));
  db_.Query().Next();
  EXPECT_TRUE(db_.Query().Eof()) << "Next at the end stays there";

  EXPECT_EQ(db_.Select("Groups", "GroupName", "'E'"), 1);
  EXPECT_EQ(db_.Query().FieldByName("groupname").AsString(), "E") << "names match in any case";
}

TEST_F(SimpleDbTest, ChangesReturnTheRowsTheyTouched) {
  EXPECT_EQ(db_.Insert("Groups", {"GroupName"}, {"'A'"}), 1);
  EXPECT_EQ(db_.Insert("Groups", {"GroupName"}, {"'B'"}), 1);
  EXPECT_EQ(db_.Insert("Groups", {"GroupName"}, {"'C'"}), 1);
  EXPECT_EQ(db_.Update("Groups", {"GroupName"}, {"'X'"}, "GroupName='A'"), 1);
  EXPECT_EQ(db_.Update("Groups", {"GroupName"}, {"'Y'"}), 3) << "no condition: every row";
  EXPECT_EQ(db_.Delete("Groups", "GroupName='nobody'"), 0) << "no match is no failure";
  EXPECT_EQ(db_.DeleteAll("Groups"), 3);
  EXPECT_EQ(raw_.Column("select count(*) from Groups"), std::vector<std::string>{"0"});
}

TEST_F(SimpleDbTest, TextsPassToTheEngineUnchanged) {
  EXPECT_EQ(QuotedStr("O'Neil"), "'O''Neil'");
  EXPECT_EQ(QuotedStr(""), "''");
  EXPECT_EQ(QuotedStr("''"), "''''''");

  const std::vector<std::string> names = {"O'Neil", "初一(3)班", "a''b", "x' OR '1'='1", " "};
  for (const auto& name : names) db_.Insert("Groups", {"GroupName"}, {QuotedStr(name)});
  EXPECT_EQ(raw_.Column("select GroupName from Groups order by rowid"), names);
  for (const auto& name : names) {
    EXPECT_EQ(db_.Select("Groups", "GroupName=" + QuotedStr(name)), 1) << name;
    EXPECT_EQ(db_.Query().FieldByName("GroupName").AsString(), name);
  }
  // A literal holding two quotes in a row stores one.
  db_.Insert("Groups", {"GroupName"}, {"'it''s'"});
  EXPECT_EQ(raw_.Column("select GroupName from Groups where rowid=6"),
            std::vector<std::string>{"it's"});
}

TEST_F(SimpleDbTest, ColumnsReadAsTextOrIntegerAndNullAsEmpty) {
  raw_.Exec(
      "insert into TimeTable (Week, BeginTime, EndTime, GroupName) values (3, '08:00', "
      "'08:45', '3A')");
  ASSERT_EQ(db_.Select("TimeTable"), 1);
  const TQuery& query = db_.Query();
  EXPECT_EQ(query.FieldByName("Week").AsInteger(), 3);
  EXPECT_EQ(query.FieldByName("Week").AsString(), "3");
  EXPECT_EQ(query.FieldByName("BEGINTIME").AsString(), "08:00");
  EXPECT_EQ(query.FieldByName("ServerIP").AsString(), "") << "NULL";
  EXPECT_EQ(query.FieldByName("ServerPort").AsInteger(), 0) << "NULL";
  EXPECT_THROW(query.FieldByName("GroupName").AsInteger(), DbError);
  try {
    query.FieldByName("Room");
    FAIL();
  } catch (const DbError& error) {
    EXPECT_STREQ(error.what(), "Field 'Room' not found");
  }
}

TEST_F(SimpleDbTest, AnyLaterStatementClosesTheSelectsResult) {
  raw_.Exec("insert into Groups values ('A'),('B')");
  ASSERT_EQ(db_.Select("Groups"), 2);
  db_.Insert("Groups", {"GroupName"}, {"'C'"});
  EXPECT_TRUE(db_.Query().Eof());
  EXPECT_THROW(db_.Query().FieldByName("GroupName"), DbError);
  EXPECT_THROW(db_.Query().Next(), DbError);

  // Open on a result that is open already keeps its place.
  ASSERT_EQ(db_.Select("Groups"), 3);
  db_.Query().Next();
  db_.Query().Open();
  EXPECT_EQ(db_.Query().FieldByName("GroupName").AsString(), "B");
}

TEST_F(SimpleDbTest, AnOpenCursorHoldsNoLockOnTheFile) {
  raw_.Exec("insert into Groups values ('A'),('B'),('C')");
  ASSERT_EQ(db_.Select("Groups"), 3);
  // Another process writes while the cursor still stands on a row.
  EXPECT_NO_THROW(raw_.Exec("delete from Groups"));
  EXPECT_EQ(Walk("GroupName"), (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(SimpleDbTest, EngineFailuresCarryTheEngineMessage) {
  raw_.Exec("insert into Groups values ('A')");
  ASSERT_EQ(db_.Select("Groups"), 1);
  struct Case {
    std::function<void(TSimpleDb&)> run;
    std::string message;
  };
  const std::vector<Case> cases = {
      {[](TSimpleDb& db) { db.Select("Nowhere"); }, "no such table: Nowhere"},
      {[](TSimpleDb& db) { db.Select("Groups", "Room=1"); }, "no such column: Room"},
      {[](TSimpleDb& db) { db.Insert("Groups", {"GroupName"}, {"'unclosed"}); },
       "unrecognized token: \"'unclosed);\""},
      {[](TSimpleDb& db) { db.Delete("", ""); }, "near \"WHERE\": syntax error"},
  };
  for (const Case& c : cases) {
    try {
      c.run(db_);
      ADD_FAILURE() << "no failure for " << c.message;
    } catch (const DbError& error) {
      EXPECT_EQ(error.what(), c.message);
    }
    EXPECT_TRUE(db_.Query().Eof()) << "the earlier result is closed";
  }
  EXPECT_EQ(db_.Select("Groups"), 1) << "the connection goes on working";
}

TEST_F(SimpleDbTest, BatchModeCollectsChangesAndRunsThemAllAtTheEnd) {
  raw_.Exec("insert into Groups values ('A'),('B')");
  db_.SetBatchCommand(true);
  EXPECT_TRUE(db_.BatchCommand());
  EXPECT_EQ(db_.Insert("Groups", {"GroupName"}, {"'C'"}), 0);
  EXPECT_EQ(db_.Update("Groups", {"GroupName"}, {"'Z'"}, "GroupName in ('A','B')"), 0);
  EXPECT_EQ(db_.Delete("Groups", "GroupName='C'"), 0);
  EXPECT_EQ(db_.Query().SQL(), (std::vector<std::string>{
                                   "insert into Groups (GroupName) values ('C');",
                                   "update Groups SET GroupName='Z' WHERE GroupName in ('A','B');",
                                   "delete FROM Groups WHERE GroupName='C';"}));
  EXPECT_EQ(raw_.Column("select GroupName from Groups"), (std::vector<std::string>{"A", "B"}))
      << "nothing ran yet";

  EXPECT_EQ(db_.UpdateBatchCommand(), 4);
  EXPECT_FALSE(db_.BatchCommand());
  EXPECT_EQ(raw_.Column("select GroupName from Groups"), (std::vector<std::string>{"Z", "Z"}))
      << "every collected statement ran, not only the first";

  db_.SetBatchCommand(true);
  db_.SetBatchCommand(false);
  EXPECT_TRUE(db_.Query().SQL().empty()) << "switching clears the collected text";
}

TEST_F(SimpleDbTest, MultiLineStatementTextRunsAsOne) {
  TQuery& query = db_.Query();
  query.ClearSQL();
  for (const char* line : {"CREATE TABLE [Extra]", "(", "[Id] INTEGER PRIMARY KEY AUTOINCREMENT,",
                           "[Name] VARCHAR(36)", ");"}) {
    query.AddSQL(line);
  }
  EXPECT_EQ(query.ExecSQL(), 0);
  EXPECT_EQ(db_.Insert("Extra", {"Name"}, {"'x'"}), 1);
  EXPECT_EQ(db_.Select("Extra"), 1);
  EXPECT_EQ(db_.Query().FieldByName("Id").AsInteger(), 1);
}

TEST_F(SimpleDbTest, TransactionReachesTheFileOnlyAtCommit) {
  db_.StartTransaction();
  db_.Insert("Groups", {"GroupName"}, {"'A'"});
  db_.Insert("Groups", {"GroupName"}, {"'B'"});
  EXPECT_EQ(raw_.Column("select count(*) from Groups"), std::vector<std::string>{"0"});
  db_.Commit();
  EXPECT_EQ(raw_.Column("select count(*) from Groups"), std::vector<std::string>{"2"});
  EXPECT_NO_THROW(raw_.Exec("insert into Groups values ('C')")) << "no lock is left behind";
}

TEST_F(SimpleDbTest, FileLockedByAnotherProcessFailsWithTheEngineMessageAfterWaiting) {
  raw_.Exec("begin exclusive");
  try {
    db_.Insert("Groups", {"GroupName"}, {"'A'"});
    ADD_FAILURE() << "wrote through an exclusive lock";
  } catch (const DbError& error) {
    EXPECT_STREQ(error.what(), "database is locked");
  }
  raw_.Exec("commit");
  EXPECT_EQ(db_.Insert("Groups", {"GroupName"}, {"'A'"}), 1);
}

TEST_F(SimpleDbTest, CommitThatCannotGetTheFileEndsTheTransaction) {
  db_.StartTransaction();
  db_.Insert("Groups", {"GroupName"}, {"'lost'"});
  raw_.Exec("begin; select count(*) from Groups;");  // a reader keeps the file from being written
  try {
    db_.Commit();
    ADD_FAILURE() << "committed under a reader's lock";
  } catch (const DbError& error) {
    EXPECT_STREQ(error.what(), "database is locked");
  }
  raw_.Exec("commit");
  // Later changes must not join a transaction that never ends.
  db_.Insert("Groups", {"GroupName"}, {"'kept'"});
  EXPECT_EQ(raw_.Column("select GroupName from Groups"), std::vector<std::string>{"kept"});
}

TEST(CreateDatabaseFile, MakesTheFourTablesFromTheSchema) {
  TempDir dir;
  std::ifstream schemaFile(ORVO_SCHEMA_FILE, std::ios::binary);
  const std::string schema{std::istreambuf_iterator<char>(schemaFile),
                           std::istreambuf_iterator<char>()};
  ASSERT_FALSE(schema.empty()) << ORVO_SCHEMA_FILE;
  EXPECT_EQ(schema, SchemaSql()) << "the built-in copy is the file, unchanged";
  const std::string path = CreateDatabaseFromSchema(dir / "orvoDisk.db");
  TSimpleDb db(path);
  const std::vector<std::pair<std::string, std::vector<std::string>>> tables = {
      {"Users", {"Id", "UserId", "UserName", "PassWord", "GroupName"}},
      {"Groups", {"GroupName"}},
      {"Setting", {"RootPath", "PublicPath", "GroupList", "UserList", "AutoRun"}},
      {"TimeTable", {"Id", "Week", "BeginTime", "EndTime", "GroupName", "ServerIP", "ServerPort"}},
  };
  for (const auto& [table, columns] : tables) {
    EXPECT_EQ(db.Select(table), 0) << table;
    for (const auto& column : columns) EXPECT_NO_THROW(db.Query().FieldByName(column)) << column;
  }
  // Keys come from the engine; a repeated name is no constraint violation.
  db.Insert("Users", {"UserName", "GroupName"}, {"'Wang'", "'3A'"});
  db.Insert("Users", {"UserName", "GroupName"}, {"'Wang'", "'3A'"});
  ASSERT_EQ(db.Select("Users"), 2);
  EXPECT_EQ(db.Query().FieldByName("Id").AsInteger(), 1);
  db.Insert("Setting", {"GroupList"}, {"1"});
  db.Select("Setting");
  EXPECT_EQ(db.Query().FieldByName("GroupList").AsInteger(), 1);
}

TEST(CreateDatabaseFile, NeverOverwritesAndLeavesNothingOnFailure) {
  TempDir dir;
  const std::string existing = dir.Write("orvoDisk.db", "keep me");
  EXPECT_THROW(CreateDatabaseFile(existing, std::string(SchemaSql())), DbError);
  EXPECT_EQ(TempDir::Read(existing), "keep me");

  const std::string broken = dir / "broken.db";
  try {
    CreateDatabaseFile(broken, "CREATE TABLE A (x); CREATE TABLE A (x);");
    ADD_FAILURE() << "a failing schema was accepted";
  } catch (const DbError& error) {
    EXPECT_STREQ(error.what(), "table A already exists");
  }
  EXPECT_FALSE(fs::exists(broken));
}

}  // namespace
}  // namespace orvo::store
