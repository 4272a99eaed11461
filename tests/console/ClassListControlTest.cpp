// The class list's control without its window: after a failed store operation its lists must
// still be what the window shows, or the window's next handler would act on the wrong row.
#include "console/ClassListControl.h"

#include <stdexcept>

#include "tests/console/ConsoleFixture.h"

namespace orvo::testing {
namespace {

class ClassListControlTest : public ConsoleTest {
 protected:
  void SetUp() override {
    Sql("insert into Groups values ('A班'); insert into Groups values ('C班');"
        "insert into Users (UserId, UserName, PassWord, GroupName) values"
        " ('zs', '张三', '1', 'A班');");
    Start();
    control = std::make_unique<console::ClassListControl>(*service);
    control->LoadClasses();
  }

  std::unique_ptr<console::ClassListControl> control;
};

TEST_F(ClassListControlTest, StoreFailuresLeaveTheListsAsTheWindowShowsThem) {
  control->LoadStudents(QStringLiteral("A班"));
  ASSERT_EQ(control->Students().size(), 1u);
  Sql("drop table Users;");
  EXPECT_THROW(control->LoadStudents(QStringLiteral("A班")), std::exception);
  EXPECT_TRUE(control->Students().empty()) << "the window emptied its list before loading";

  Sql("drop table Groups;");
  bool shown = false;
  // The store decides what is added (trimmed, refused, present), so a class is listed only once
  // it is stored.
  EXPECT_THROW(control->AddClass(QStringLiteral("B班"), [&](int, const QString&) { shown = true; }),
               std::exception);
  EXPECT_FALSE(shown);
  EXPECT_EQ(control->Classes(), (QStringList{"A班", "C班"}));
  // A class is unlisted only once it is deleted.
  EXPECT_THROW(control->DeleteClass(0), std::exception);
  EXPECT_EQ(control->Classes(), (QStringList{"A班", "C班"}));

  // The window in the same state: its class box lists what the control lists.
  dialogs.AnswerInput(QStringLiteral("D班"));
  window->Button4Click();
  EXPECT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_EQ(ClassItems(), (QStringList{"A班", "C班"}));
}

}  // namespace
}  // namespace orvo::testing
