#include "classwork/ClassRoster.h"

#include <gtest/gtest.h>

#include "core/SettingsValues.h"
#include "platform/PathSyntax.h"
#include "store/OrvoDiskDbUnit.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo::classwork {
namespace {

class ClassRosterTest : public ::testing::Test {
 protected:
  ClassRosterTest() : db(testing::CreateDatabaseFromSchema(dir / "orvoDisk.db"), settings) {
    settings.RootPath.Set(root);
    db.AddGroup("初二（3）班");
    db.AddGroup("初二（4）班");
    std::vector<std::string> names = {"赵敏", "阿明", "李明", "Zoe"};
    db.AddUser(names, "初二（3）班");
    db.AddUser("王芳", "初二（4）班");
  }
  orvo::testing::TempDir dir;
  std::string root = dir / "学生";
  core::SettingsValues settings;
  store::TOrvoDiskDb db;
};

TEST_F(ClassRosterTest, ListsTheClassInNameOrderWithTheFoldersTheServiceGives) {
  const std::vector<StudentFolder> roster = ClassRoster(db, root, "初二（3）班");
  std::vector<std::string> names;
  for (const StudentFolder& student : roster) names.push_back(student.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Zoe", "阿明", "李明", "赵敏"}));
  const std::string sep(1, platform::kPathSeparator);
  EXPECT_EQ(roster[2].folder, root + sep + "初二（3）班" + sep + "李明");
  EXPECT_EQ(roster[2].userId, "李明");
}

TEST_F(ClassRosterTest, RefusesAnUnknownClassAndAMissingRootFolder) {
  const auto faultOf = [&](const std::string& rootFolder, const std::string& className) {
    try {
      ClassRoster(db, rootFolder, className);
    } catch (const RosterError& e) {
      return e.problem().fault;
    }
    ADD_FAILURE() << "no refusal for " << className;
    return Fault::kCancelled;
  };
  EXPECT_EQ(faultOf(root, "初二(3)班"), Fault::kNoClass);  // half-width brackets: another name
  EXPECT_EQ(faultOf(root, "没有"), Fault::kNoClass);
  EXPECT_EQ(faultOf("", "初二（3）班"), Fault::kNoRootFolder);
}

}  // namespace
}  // namespace orvo::classwork
