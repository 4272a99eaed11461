// The online window ("在线学生") over a running service with students logged in through LOGIN from
// loopback addresses of their own, and the main and timetable windows' changes that end or
// recheck logins at once.
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <string>
#include <vector>

#include "console/OnlineUnit.h"
#include "net/OrvoServer.h"
#include "tests/console/ConsoleFixture.h"
#include "tests/support/ConnectionCounts.h"
#include "tests/support/RawClient.h"

namespace orvo::testing {
namespace {

constexpr char kLi[] = "127.0.0.2";
constexpr char kWu[] = "127.0.0.3";
constexpr char kZhao[] = "127.0.0.4";
constexpr char kGuesser[] = "127.0.0.9";
const std::string kEmptyListing(4, '\0');

// Classes C1 (Li, Wu) and C2 (Zhao), in a lesson together on Monday 08:00 to 08:45; it is 08:10.
class OnlineWindowTest : public ConsoleTest {
 protected:
  void SetUp() override {
    Sql("insert into Setting values ('" + (dir / "root") +
        "', '', 0, 1, 0);"
        "insert into Groups values ('C1'); insert into Groups values ('C2');"
        "insert into Users (UserId, UserName, PassWord, GroupName) values"
        " ('Li', 'Li', '907183', 'C1'), ('Wu', 'Wu', '907183', 'C1'),"
        " ('Zhao', 'Zhao', '907183', 'C2');"
        "insert into TimeTable (Week, BeginTime, EndTime, GroupName) values"
        " (1, '08:00', '08:45', 'C1,C2');");
    for (const char* student : {"C1/Li", "C1/Wu", "C2/Zhao"}) {
      dir.Write(std::string("root/") + student + "/essay.txt", "essay");
    }
    clock.SetNow({2026, 12, 7, 8, 10, 0, 0, 1});
    Start();
  }

  std::string Request(const std::string& from, const std::string& line) {
    RawClient client(service->Port(), "127.0.0.1", from);
    client.Send(line + "\r\n");
    return client.ReadToClose();
  }
  bool LogIn(const std::string& from, const std::string& group, const std::string& student,
             const std::string& password = "907183") {
    return Request(from, "LOGIN " + group + " " + student + " " + password).size() > 4;
  }
  std::string ListCommand(const std::string& group, const std::string& student) {
    return "LIST " + (dir / "root") + "\\" + group + "\\" + student + "\\*";
  }
  // Whether `from` lists the essay in the folder of `student`.
  bool Reaches(const std::string& from, const std::string& group, const std::string& student) {
    return Request(from, ListCommand(group, student)) != kEmptyListing;
  }

  QTableWidget* Logins() { return online->ListView1; }
  QTableWidget* Blocked() { return online->ListView2; }
  QTableWidget* Limited() { return online->ListView3; }
  // One column of a list, top to bottom.
  static std::vector<QString> Column(QTableWidget* list, int column) {
    std::vector<QString> texts;
    for (int r = 0; r < list->rowCount(); ++r) texts.push_back(list->item(r, column)->text());
    return texts;
  }
  // Selects the rows of `addresses` as a click with Ctrl held on each would.
  static void Select(QTableWidget* list, const std::vector<QString>& addresses) {
    list->clearSelection();
    for (int r = 0; r < list->rowCount(); ++r) {
      for (const QString& address : addresses) {
        if (list->item(r, 0)->text() != address) continue;
        list->selectionModel()->select(list->model()->index(r, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
      }
    }
  }
  std::vector<QString> Selected(QTableWidget* list) {
    std::vector<QString> addresses;
    for (const QModelIndex& row : list->selectionModel()->selectedRows()) {
      addresses.push_back(list->item(row.row(), 0)->text());
    }
    return addresses;
  }
  std::vector<std::string> ServerLogins() {
    std::vector<std::string> addresses;
    for (const auto& login : service->Server()->OnlineLogins()) addresses.push_back(login.address);
    std::sort(addresses.begin(), addresses.end());
    return addresses;
  }
};

TEST_F(OnlineWindowTest, TheLinkShowsEveryLoginAndBlockAndRefreshesWhileVisible) {
  ASSERT_TRUE(LogIn(kZhao, "C2", "Zhao"));
  ASSERT_TRUE(LogIn(kLi, "C1", "Li"));
  ASSERT_TRUE(Reaches(kLi, "C1", "Li"));
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(LogIn(kGuesser, "C1", "Li", "000000"));

  window->Label10Click();
  EXPECT_TRUE(online->isVisible());
  EXPECT_TRUE(online->Timer1->isActive());
  ASSERT_EQ(Logins()->rowCount(), 2);
  EXPECT_EQ(Column(Logins(), 0), (std::vector<QString>{kLi, kZhao})) << "by class, then name";
  EXPECT_EQ(Column(Logins(), 1), (std::vector<QString>{"C1", "C2"}));
  EXPECT_EQ(Column(Logins(), 2), (std::vector<QString>{"Li", "Zhao"}));
  EXPECT_EQ(Logins()->item(0, 3)->text(), QStringLiteral("2026-12-07 08:10:00"));
  EXPECT_EQ(Logins()->item(0, 4)->text(), QString::fromStdString(ListCommand("C1", "Li")));
  EXPECT_EQ(Column(Logins(), 5), (std::vector<QString>{"1", "0"}));
  EXPECT_EQ(Column(Blocked(), 0), std::vector<QString>{kGuesser});
  EXPECT_EQ(Column(Blocked(), 1), std::vector<QString>{"5:00"});
  EXPECT_EQ(online->Label1->text(), QStringLiteral("在线学生：2"));
  EXPECT_EQ(online->Label2->text(), QStringLiteral("暂停登录的地址：1"));
  EXPECT_TRUE(online->StateLabel->isHidden());

  // A login after the window opened shows at the timer's next refresh.
  ASSERT_TRUE(LogIn(kWu, "C1", "Wu"));
  online->Timer1->setInterval(1);
  EXPECT_TRUE(QTest::qWaitFor([this] { return Logins()->rowCount() == 3; }, 10'000));
  EXPECT_EQ(Column(Logins(), 0), (std::vector<QString>{kLi, kWu, kZhao}));

  online->close();
  EXPECT_FALSE(online->Timer1->isActive()) << "a hidden window keeps refreshing";
  EXPECT_TRUE(dialogs.AllShown().empty());
}

TEST_F(OnlineWindowTest, TheAddressesTheConnectionLimitsTurnedAwayShowWithBothCounts) {
  ASSERT_TRUE(LogIn(kLi, "C1", "Li"));
  window->Label10Click();
  EXPECT_EQ(Limited()->rowCount(), 0) << "a login with nothing refused or timed out is listed";
  EXPECT_EQ(online->Label3->text(), QStringLiteral("受限的地址：0"));

  CountLimitedConnections(*service->Server(), kGuesser, 64, 0);
  CountLimitedConnections(*service->Server(), kLi, 0, 1);
  online->Button4Click();
  EXPECT_EQ(Column(Limited(), 0), (std::vector<QString>{kLi, kGuesser})) << "by address";
  EXPECT_EQ(Column(Limited(), 1), (std::vector<QString>{"0", "64"}));
  EXPECT_EQ(Column(Limited(), 2), (std::vector<QString>{"1", "0"}));
  EXPECT_EQ(online->Label3->text(), QStringLiteral("受限的地址：2"));
  EXPECT_EQ(Logins()->rowCount(), 1) << "the counts disturbed the login";
  EXPECT_TRUE(dialogs.AllShown().empty());
}

TEST_F(OnlineWindowTest, EndSelectedEndAllAndLiftABlock) {
  ASSERT_TRUE(LogIn(kLi, "C1", "Li"));
  ASSERT_TRUE(LogIn(kWu, "C1", "Wu"));
  ASSERT_TRUE(LogIn(kZhao, "C2", "Zhao"));
  for (int i = 0; i < 5; ++i) LogIn(kGuesser, "C1", "Li", "000000");
  window->Label10Click();

  Select(Logins(), {kLi, kZhao});
  online->Button1Click();
  EXPECT_EQ(Column(Logins(), 0), std::vector<QString>{kWu});
  EXPECT_EQ(ServerLogins(), std::vector<std::string>{kWu});
  EXPECT_FALSE(Reaches(kLi, "C1", "Li"));
  EXPECT_FALSE(Reaches(kZhao, "C2", "Zhao"));
  EXPECT_TRUE(Reaches(kWu, "C1", "Wu"));

  ASSERT_TRUE(LogIn(kLi, "C1", "Li"));
  online->RefreshLists();
  dialogs.AnswerConfirm(false);
  online->Button2Click();
  EXPECT_EQ(ServerLogins(), (std::vector<std::string>{kLi, kWu})) << "a cancelled 全部下线";
  dialogs.AnswerConfirm(true);
  online->Button2Click();
  ASSERT_EQ(dialogs.AllShown().size(), 2u);
  EXPECT_EQ(dialogs.AllShown()[1].kind, ScriptedDialogs::Kind::Confirm);
  EXPECT_EQ(dialogs.AllShown()[1].caption, QStringLiteral("全部下线"));
  EXPECT_TRUE(ServerLogins().empty());
  EXPECT_EQ(Logins()->rowCount(), 0);
  EXPECT_FALSE(Reaches(kWu, "C1", "Wu"));

  EXPECT_FALSE(LogIn(kGuesser, "C1", "Li"));
  Select(Blocked(), {kGuesser});
  online->Button3Click();
  EXPECT_EQ(Blocked()->rowCount(), 0);
  EXPECT_TRUE(LogIn(kGuesser, "C1", "Li"));
}

TEST_F(OnlineWindowTest, ARefreshKeepsTheSelectedStudentsSelected) {
  ASSERT_TRUE(LogIn(kWu, "C1", "Wu"));
  ASSERT_TRUE(LogIn(kZhao, "C2", "Zhao"));
  window->Label10Click();
  Select(Logins(), {kZhao});
  // Li's login takes the first row, so every row below moves down.
  ASSERT_TRUE(LogIn(kLi, "C1", "Li"));
  online->Button4Click();
  EXPECT_EQ(Column(Logins(), 0), (std::vector<QString>{kLi, kWu, kZhao}));
  EXPECT_EQ(Selected(Logins()), std::vector<QString>{kZhao});
  online->Button1Click();
  EXPECT_EQ(ServerLogins(), (std::vector<std::string>{kLi, kWu}));
}

TEST_F(OnlineWindowTest, DeletingAStudentOrAClassEndsTheirLoginsAtOnce) {
  ASSERT_TRUE(LogIn(kLi, "C1", "Li"));
  ASSERT_TRUE(LogIn(kWu, "C1", "Wu"));
  ASSERT_TRUE(LogIn(kZhao, "C2", "Zhao"));
  ASSERT_TRUE(Reaches(kLi, "C1", "Li"));

  PickClass(QStringLiteral("C1"));
  const std::vector<QString> names = StudentColumn(2);
  const auto li = std::find(names.begin(), names.end(), QStringLiteral("Li"));
  ASSERT_NE(li, names.end());
  Students()->selectRow(static_cast<int>(li - names.begin()));
  dialogs.AnswerConfirm(true);
  window->Button8Click();
  EXPECT_EQ(ServerLogins(), (std::vector<std::string>{kWu, kZhao}));
  EXPECT_FALSE(Reaches(kLi, "C1", "Li"));

  dialogs.AnswerConfirm(true);
  window->Button5Click();  // C1 is the class picked
  EXPECT_EQ(ServerLogins(), std::vector<std::string>{kZhao});
  EXPECT_FALSE(Reaches(kWu, "C1", "Wu"));
  EXPECT_TRUE(Reaches(kZhao, "C2", "Zhao"));
  EXPECT_TRUE(dialogs.Errors().empty());
}

TEST_F(OnlineWindowTest, ALessonDeletedInTheTimetableWindowEndsItsLoginsAtTheNextCommand) {
  ASSERT_TRUE(LogIn(kLi, "C1", "Li"));
  ASSERT_TRUE(LogIn(kZhao, "C2", "Zhao"));
  ASSERT_TRUE(Reaches(kLi, "C1", "Li"));
  // C2 gets a lesson of its own, then the joint lesson goes.
  timeTable->ComboBox1->setCurrentIndex(0);
  timeTable->Edit1->setText(QStringLiteral("08:00"));
  timeTable->Edit2->setText(QStringLiteral("09:00"));
  timeTable->ComboBox3->setEditText(QStringLiteral("C2"));
  timeTable->Button2Click();
  QTableWidget* lessons = timeTable->ListView1;
  ASSERT_EQ(lessons->rowCount(), 2);
  for (int r = 0; r < lessons->rowCount(); ++r) {
    if (lessons->item(r, 4)->text() == QStringLiteral("C1,C2")) lessons->selectRow(r);
  }
  dialogs.AnswerConfirm(true);
  timeTable->Button3Click();
  ASSERT_EQ(lessons->rowCount(), 1);
  EXPECT_FALSE(Reaches(kLi, "C1", "Li")) << "the login outlived its lesson";
  EXPECT_TRUE(Reaches(kZhao, "C2", "Zhao"));
}

TEST_F(OnlineWindowTest, WithoutAServiceTheWindowSaysSoQuietly) {
  Stop();
  TempDir empty;
  Start(false, empty.Path().string());
  dialogs.Forget();  // the start-up failure's box
  window->Label10Click();
  EXPECT_TRUE(online->isVisible());
  EXPECT_FALSE(online->StateLabel->isHidden());
  EXPECT_EQ(Logins()->rowCount(), 0);
  EXPECT_EQ(Limited()->rowCount(), 0);
  for (QPushButton* button : {online->Button1, online->Button2, online->Button3}) {
    EXPECT_FALSE(button->isEnabled());
  }
  online->RefreshLists();
  EXPECT_TRUE(dialogs.AllShown().empty()) << "a refresh without a service showed a box";
}

}  // namespace
}  // namespace orvo::testing
