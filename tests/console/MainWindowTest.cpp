// The main window's start-up, start-up timer, close and tray behaviour, and its controls.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHeaderView>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "console/DatabaseSetup.h"
#include "core/Version.h"
#include "net/OrvoClient.h"
#include "tests/console/ConsoleFixture.h"
#include "tests/support/Eventually.h"
#include "tests/support/RawClient.h"

namespace orvo::testing {
namespace {

namespace fs = std::filesystem;
using Kind = ScriptedDialogs::Kind;

bool Connects(uint16_t port) {
  try {
    RawClient client(port);
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

class MainWindowTest : public ConsoleTest {};

TEST_F(MainWindowTest, EveryControlCarriesItsCaption) {
  console::TSMainFrm& frm = Start();
  EXPECT_EQ(frm.windowTitle(), QStringLiteral("Orvo校园版服务端V") + QLatin1String(kVersion));
  const struct {
    const char* name;
    const char* caption;
  } kCaptions[] = {
      {"Label1", "学生组根目录："},
      {"Button1", "..."},
      {"Label2", "课堂资源目录："},
      {"Button2", "..."},
      {"Button10", "文件夹打包"},
      {"CheckBox2", "显示学生列表"},
      {"CheckBox4", "暂停课程表设置"},
      {"CheckBox3", "开机自启动"},
      {"Label7", "设置课程表"},
      {"Label8", "查看记录"},
      {"Label4", "学生虚拟盘目录＝[学生组根目录]\\[班级名称]\\[学生姓名]"},
      {"Button3", "保存"},
      {"Button6", "退出"},
      {"Label3", "选择班级："},
      {"Label9", "当前班级"},
      {"Button4", "+"},
      {"Button5", "－"},
      {"Label5", "姓名："},
      {"Button9", "查找"},
      {"Button7", "添加"},
      {"Button8", "删除"},
  };
  for (const auto& control : kCaptions) {
    SCOPED_TRACE(control.name);
    QWidget* widget = Find<QWidget>(control.name);
    ASSERT_NE(widget, nullptr);
    const QString expected = QString::fromUtf8(control.caption);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      EXPECT_EQ(label->text(), expected);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      EXPECT_EQ(button->text(), expected);
    } else {
      ADD_FAILURE() << "neither label nor button";
    }
  }
  for (const char* name :
       {"RootPathEdit", "PublicPathEdit", "Edit1", "Label6", "Panel2", "Panel4"}) {
    EXPECT_NE(frm.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  }
  EXPECT_TRUE(Edit("RootPathEdit")->isReadOnly());
  EXPECT_TRUE(Edit("PublicPathEdit")->isReadOnly());
  QStringList headers;
  for (int c = 0; c < Students()->columnCount(); ++c) {
    headers.append(Students()->horizontalHeaderItem(c)->text());
  }
  EXPECT_EQ(headers, (QStringList{"Id", "班级", "姓名", "登陆ID", "密码"}));
  EXPECT_FALSE(Classes()->isEditable());
  EXPECT_EQ(frm.focusWidget(), Find<QWidget>("Button6"));
  EXPECT_EQ(Find<QTimer>("Timer1")->interval(), 1000);
  EXPECT_TRUE(Find<QTimer>("Timer1")->isSingleShot());
}

TEST_F(MainWindowTest, FirstStartWithoutSettingsRowStaysVisibleAfterTheTimer) {
  console::TSMainFrm& frm = Start();
  frm.show();
  EXPECT_TRUE(dialogs.AllShown().empty());
  EXPECT_TRUE(Edit("RootPathEdit")->text().isEmpty());
  EXPECT_TRUE(Edit("PublicPathEdit")->text().isEmpty());
  EXPECT_FALSE(Box("CheckBox2")->isChecked());
  EXPECT_FALSE(Box("CheckBox3")->isChecked());
  EXPECT_EQ(Settings().UserList.load(), 1);
  EXPECT_EQ(Settings().GroupList.load(), 0);
  EXPECT_TRUE(service->Running());

  frm.Timer1Timer();
  EXPECT_TRUE(frm.isVisible());
  EXPECT_FALSE(frm.isMinimized());

  // The timer acted once: a root folder chosen afterwards does not send the window away.
  dialogs.AnswerFolder(QString::fromStdString(dir.Path().string()));
  frm.Button1Click();
  EXPECT_TRUE(frm.isVisible());
  EXPECT_FALSE(frm.isMinimized());
}

TEST_F(MainWindowTest, SettingsRowFillsTheControlsWithoutWritingTheAutostartEntry) {
  Sql("insert into Setting values ('/srv/学生', '/srv/资源', 1, 1, 1);"
      "insert into Groups values ('b班'); insert into Groups values ('A班');"
      "insert into Groups values ('c班');");
  Start();
  EXPECT_TRUE(dialogs.AllShown().empty());
  EXPECT_EQ(Edit("RootPathEdit")->text(), QStringLiteral("/srv/学生"));
  EXPECT_EQ(Edit("PublicPathEdit")->text(), QStringLiteral("/srv/资源"));
  EXPECT_TRUE(Box("CheckBox2")->isChecked());
  EXPECT_TRUE(Box("CheckBox3")->isChecked());
  EXPECT_FALSE(Box("CheckBox4")->isChecked());
  EXPECT_EQ(Settings().GroupList.load(), 1);
  EXPECT_EQ(Settings().AutoRun.load(), 1);
  EXPECT_FALSE(fs::exists(AutostartEntry()));
  EXPECT_EQ(ClassItems(), (QStringList{"A班", "b班", "c班"}));
  EXPECT_EQ(Classes()->currentIndex(), -1);
  EXPECT_EQ(Students()->rowCount(), 0);
}

TEST_F(MainWindowTest, GroupListOtherThanOneLeavesTheBoxClearAndTheValueAlone) {
  Sql("insert into Setting values ('', '', 2, 1, 0);");
  Start();
  EXPECT_FALSE(Box("CheckBox2")->isChecked());
  EXPECT_EQ(Settings().GroupList.load(), 2);
}

TEST_F(MainWindowTest, TimerPausesTheGateOnlyOnAnEmptyTimetable) {
  const struct {
    const char* timetable;
    bool paused;
  } kCases[] = {
      {"", true},
      {"insert into TimeTable (Week, BeginTime, EndTime, GroupName) values (1, '08:00', '09:00', "
       "'x');",
       false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.paused ? "empty timetable" : "one timetable row");
    Sql("delete from TimeTable;" + std::string(c.timetable));
    console::TSMainFrm& frm = Start();
    EXPECT_FALSE(Box("CheckBox4")->isChecked());
    EXPECT_FALSE(service->Db()->StopTimeTable());
    frm.Timer1Timer();
    EXPECT_EQ(Box("CheckBox4")->isChecked(), c.paused);
    EXPECT_EQ(service->Db()->StopTimeTable(), c.paused);
    Stop();
  }
}

TEST_F(MainWindowTest, RootFolderSetHidesAfterTheTimerAndTheTrayIconBringsItBack) {
  Sql("insert into Setting values ('/srv/root', '', 0, 1, 0);");
  console::TSMainFrm& frm = Start(/*trayAvailable=*/true);
  ASSERT_NE(frm.TrayIcon1, nullptr);
  EXPECT_EQ(frm.TrayIcon1->toolTip(), QStringLiteral("Orvo服务端"));
  frm.show();
  frm.Timer1Timer();
  EXPECT_TRUE(frm.isHidden());
  EXPECT_TRUE(service->Running());

  frm.TrayIcon1Click();
  EXPECT_TRUE(frm.isVisible());
  frm.TrayIcon1Click();
  EXPECT_TRUE(frm.isVisible());
}

TEST_F(MainWindowTest, StartupTimerRunsItsHandlerByItself) {
  Sql("insert into Setting values ('/srv/root', '', 0, 1, 0);");
  console::TSMainFrm& frm = Start(/*trayAvailable=*/true);
  frm.show();
  frm.Timer1->start();  // as the window started it
  QDeadlineTimer limit(20000);
  while (!frm.isHidden() && !limit.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
  }
  EXPECT_TRUE(frm.isHidden());
  EXPECT_TRUE(Box("CheckBox4")->isChecked());
  EXPECT_FALSE(frm.Timer1->isActive());
}

TEST_F(MainWindowTest, WithoutNotificationAreaTheWindowIsMinimisedNeverHidden) {
  Sql("insert into Setting values ('/srv/root', '', 0, 1, 0);");
  console::TSMainFrm& frm = Start(/*trayAvailable=*/false);
  EXPECT_EQ(frm.TrayIcon1, nullptr);
  frm.show();
  frm.Timer1Timer();
  EXPECT_TRUE(frm.isVisible());
  EXPECT_TRUE(frm.isMinimized());

  frm.TrayIcon1Click();
  EXPECT_FALSE(frm.isMinimized());
  frm.close();
  EXPECT_TRUE(frm.isVisible());
  EXPECT_TRUE(frm.isMinimized());
  EXPECT_TRUE(service->Running());
}

TEST_F(MainWindowTest, CloseRequestOnlyHidesAndExitStopsTheService) {
  console::TSMainFrm& frm = Start(/*trayAvailable=*/true);
  bool ended = false;
  frm.SetOnClosed([&] { ended = true; });
  frm.show();
  const uint16_t port = service->Port();

  EXPECT_FALSE(frm.close());
  EXPECT_TRUE(frm.isHidden());
  EXPECT_FALSE(ended);
  EXPECT_TRUE(service->Running());
  EXPECT_TRUE(Connects(port));
  // That connection must be gone on the service's side too, or quitting would ask first.
  ASSERT_TRUE(Eventually([this] { return service->Server()->LiveConnections() == 0; }));

  frm.Button6Click();
  EXPECT_TRUE(frm.Exiting());
  EXPECT_TRUE(ended);
  EXPECT_FALSE(service->Running());
  EXPECT_FALSE(Connects(port));
  EXPECT_TRUE(frm.FormCloseQuery());
  EXPECT_TRUE(dialogs.AllShown().empty());
}

TEST_F(MainWindowTest, ExitWorksFromTheNotificationArea) {
  Sql("insert into Setting values ('/srv/root', '', 0, 1, 0);");
  console::TSMainFrm& frm = Start(/*trayAvailable=*/true);
  frm.show();
  frm.Timer1Timer();
  ASSERT_TRUE(frm.isHidden());
  frm.Button6Click();
  EXPECT_FALSE(service->Running());
}

// The controls that need the service: disabled, with the reason as their tooltip, after a failed
// start.
const char* const kServiceControls[] = {"Button1",   "Button2", "Button3", "CheckBox2", "CheckBox3",
                                        "CheckBox4", "Label7",  "Label10", "Label11",   "ComboBox1",
                                        "Label9",    "Button4", "Button5", "ListView1", "Edit1",
                                        "Button9",   "Button7", "Button8"};

TEST_F(MainWindowTest, WindowWithoutItsDatabaseSaysWhyAndDisablesWhatCannotWork) {
  TempDir empty;
  const QString missing = QString::fromStdString(empty / "orvoDisk.db");
  console::TSMainFrm& frm = Start(false, empty.Path().string());
  EXPECT_TRUE(dialogs.AllShown().empty()) << "said in the window, not in a box";
  EXPECT_EQ(service->Db(), nullptr);
  EXPECT_FALSE(service->Running());
  frm.show();
  QLabel* problem = Find<QLabel>("StartProblem");
  EXPECT_TRUE(problem->isVisible());
  EXPECT_EQ(problem->text(), QStringLiteral("服务没有启动：找不到数据库文件 ") + missing +
                                 QStringLiteral("。退出后再启动控制台，即可在这里新建数据库"));
  for (const char* name : kServiceControls) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(Find<QWidget>(name)->isEnabled());
    EXPECT_EQ(Find<QWidget>(name)->toolTip(), problem->text());
  }
  for (const char* name : {"Button6", "Button10", "Label6", "Label8"}) {
    EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
  }

  frm.Timer1Timer();
  EXPECT_FALSE(Box("CheckBox4")->isChecked());
  EXPECT_TRUE(frm.isVisible());

  // Handlers that need the database, run all the same, say why there is none instead of asking.
  frm.Button4Click();
  frm.Button3Click();
  frm.Label9Click();
  EXPECT_EQ(dialogs.Errors(), std::vector<QString>(3, problem->text()));
  EXPECT_FALSE(fs::exists(empty.Path() / "orvoDisk.db"));
  frm.Button6Click();
  EXPECT_TRUE(frm.Exiting());
}

TEST_F(MainWindowTest, StartFailuresAreNamedInTheWindow) {
  TempDir other;
  CreateDatabaseFromSchema(other / "orvoDisk.db");
  service::OrvoService holder(other.Path().string(), 0);
  holder.Start();
  TempDir broken;
  broken.Write("orvoDisk.db", "this is no database");
  const struct {
    const char* name;
    std::string folder;
    uint16_t port;
    QString starts;
  } kCases[] = {
      {"port taken", dir.Path().string(), holder.Port(),
       QStringLiteral("服务没有启动：端口 %1 可能已被占用").arg(holder.Port())},
      {"file that is no database", broken.Path().string(), 0,
       QStringLiteral("服务没有启动：数据库文件 ") +
           QString::fromStdString(broken / "orvoDisk.db") + QStringLiteral(" 无法使用")},
  };
  Sql("insert into Setting values ('/srv/root', '/srv/pub', 1, 1, 0);"
      "insert into Groups values ('一班');");
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    console::TSMainFrm& frm = Start(false, c.folder, c.port);
    frm.show();
    const QString why = Find<QLabel>("StartProblem")->text();
    EXPECT_TRUE(why.startsWith(c.starts)) << why.toStdString();
    EXPECT_TRUE(Find<QLabel>("StartProblem")->isVisible());
    EXPECT_FALSE(Find<QWidget>("Button4")->isEnabled());
    EXPECT_EQ(service->Db(), nullptr);
    EXPECT_TRUE(Edit("RootPathEdit")->text().isEmpty());
    EXPECT_EQ(Classes()->count(), 0);
    EXPECT_TRUE(dialogs.AllShown().empty());
    Stop();
  }
  EXPECT_TRUE(holder.Running());
}

TEST_F(MainWindowTest, StartedServiceShowsNoProblemAndEnablesEveryControl) {
  console::TSMainFrm& frm = Start();
  frm.show();
  EXPECT_FALSE(Find<QLabel>("StartProblem")->isVisible());
  for (const char* name : kServiceControls) {
    EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
  }
}

TEST_F(MainWindowTest, ATakenPortalPortIsNamedWhileTheServiceRuns) {
  TempDir other;
  CreateDatabaseFromSchema(other / "orvoDisk.db");
  service::OrvoService holder(other.Path().string(), 0);
  holder.SetHttpPort(0);
  holder.Start();
  ASSERT_NE(holder.HttpPort(), 0);
  console::TSMainFrm& frm = Start(false, {}, 0, holder.HttpPort());
  frm.show();
  const QString why = Find<QLabel>("StartProblem")->text();
  EXPECT_TRUE(why.startsWith(QStringLiteral("学生网页没有启动"))) << why.toStdString();
  EXPECT_TRUE(why.contains(QString::number(holder.HttpPort()))) << why.toStdString();
  EXPECT_TRUE(service->Running());
  EXPECT_TRUE(Connects(service->Port()));
  for (const char* name : kServiceControls) {
    EXPECT_TRUE(Find<QWidget>(name)->isEnabled()) << name;
  }
}

class DatabaseOfferTest : public ConsoleTest {
 protected:
  // The folder the console would serve, after the operator's answers to the offer.
  std::string Offer(const std::string& folder) { return console::OfferDatabase(folder, dialogs); }
};

TEST_F(DatabaseOfferTest, CreatedDatabaseIsServedAndTakesAClass) {
  TempDir empty;
  dialogs.AnswerChoice(console::kCreateDatabase);
  EXPECT_EQ(Offer(empty.Path().string()), empty.Path().string());
  ASSERT_EQ(dialogs.AllShown().size(), 1u);
  const auto& question = dialogs.AllShown()[0];
  EXPECT_EQ(question.kind, Kind::Choice);
  EXPECT_TRUE(question.text.contains(QString::fromStdString(empty / "orvoDisk.db")))
      << question.text.toStdString();
  EXPECT_EQ(question.options, (QStringList{"在此新建数据库", "选择其他文件夹", "取消"}));
  EXPECT_TRUE(fs::exists(empty / "orvoDisk.db"));

  dialogs.Forget();
  console::TSMainFrm& frm = Start(false, empty.Path().string());
  EXPECT_TRUE(service->Running());
  EXPECT_TRUE(Find<QWidget>("Button4")->isEnabled());
  dialogs.AnswerInput(QStringLiteral("一班"));
  frm.Button4Click();
  EXPECT_EQ(ClassItems(), QStringList{"一班"});
  EXPECT_TRUE(dialogs.Errors().empty());
}

TEST_F(DatabaseOfferTest, AnotherFolderIsCheckedTheSameWay) {
  TempDir empty;
  TempDir elsewhere;
  // The first pick is cancelled (asked again), the second names a folder without a database
  // (asked about it), the third one that holds one.
  dialogs.AnswerChoice(console::kPickDatabaseFolder);
  dialogs.AnswerFolder(std::nullopt);
  dialogs.AnswerChoice(console::kPickDatabaseFolder);
  dialogs.AnswerFolder(QString::fromStdString(elsewhere.Path().string()));
  dialogs.AnswerChoice(console::kPickDatabaseFolder);
  dialogs.AnswerFolder(QString::fromStdString(dir.Path().string()));
  EXPECT_EQ(Offer(empty.Path().string()), dir.Path().string());
  EXPECT_EQ(dialogs.Texts(Kind::Choice).size(), 3u);
  EXPECT_TRUE(
      dialogs.Texts(Kind::Choice)[2].contains(QString::fromStdString(elsewhere / "orvoDisk.db")));
  EXPECT_EQ(dialogs.PickerStarts(),
            (std::vector<QString>{QString::fromStdString(empty.Path().string()),
                                  QString::fromStdString(empty.Path().string()),
                                  QString::fromStdString(elsewhere.Path().string())}));
  EXPECT_FALSE(fs::exists(empty / "orvoDisk.db"));
  EXPECT_FALSE(fs::exists(elsewhere / "orvoDisk.db"));
}

TEST_F(DatabaseOfferTest, DeclinedOrFailedCreationLeavesNoFile) {
  TempDir parent;
  const std::string missingFolder = parent / "not-there";
  // A folder that does not exist: the creation fails, is reported, and the question comes back;
  // closing the box declines.
  dialogs.AnswerChoice(console::kCreateDatabase);
  dialogs.AnswerChoice(-1);
  EXPECT_EQ(Offer(missingFolder), missingFolder);
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_TRUE(dialogs.Errors()[0].startsWith(QStringLiteral("无法新建数据库文件 ")))
      << dialogs.Errors()[0].toStdString();
  EXPECT_EQ(dialogs.Texts(Kind::Choice).size(), 2u);
  EXPECT_FALSE(fs::exists(missingFolder));

  dialogs.Forget();
  dialogs.AnswerChoice(2);  // "取消"
  EXPECT_EQ(Offer(parent.Path().string()), parent.Path().string());
  EXPECT_FALSE(fs::exists(parent / "orvoDisk.db"));

  // A folder with its database asks nothing.
  dialogs.Forget();
  EXPECT_EQ(Offer(dir.Path().string()), dir.Path().string());
  EXPECT_TRUE(dialogs.AllShown().empty());
}

TEST_F(MainWindowTest, QuitWithStudentsLoggedInAsksFirst) {
  Sql("insert into Groups values ('一班');"
      "insert into Users (UserId, UserName, PassWord, GroupName) values ('s01', '张三', 'pw', "
      "'一班');");
  console::TSMainFrm& frm = Start();
  Box("CheckBox4")->setChecked(true);  // every class may log in
  net::OrvoClient client("127.0.0.1", service->Port());
  client.SetTimeout(10000);
  client.Login("一班", "s01", "pw");

  dialogs.AnswerConfirm(false);
  frm.Button6Click();
  ASSERT_EQ(dialogs.AllShown().size(), 1u);
  EXPECT_EQ(dialogs.AllShown()[0].kind, Kind::Confirm);
  EXPECT_TRUE(dialogs.AllShown()[0].text.contains(QStringLiteral("1 名学生")))
      << dialogs.AllShown()[0].text.toStdString();
  EXPECT_TRUE(dialogs.AllShown()[0].text.contains(QStringLiteral("停止整个班级的服务")));
  EXPECT_FALSE(frm.Exiting());
  EXPECT_TRUE(service->Running());

  dialogs.AnswerConfirm(true);
  frm.Button6Click();
  EXPECT_TRUE(frm.Exiting());
  EXPECT_FALSE(service->Running());
}

TEST_F(MainWindowTest, ShowingTheWindowShowsPasswordsChangedMeanwhile) {
  Sql("insert into Groups values ('一班');"
      "insert into Users (UserId, UserName, PassWord, GroupName) values ('a', 'a', 'old-a', "
      "'一班');"
      "insert into Users (UserId, UserName, PassWord, GroupName) values ('b', 'b', 'old-b', "
      "'一班');");
  console::TSMainFrm& frm = Start(/*trayAvailable=*/true);
  frm.show();
  PickClass(QStringLiteral("一班"));
  frm.ListView1ColumnClick(2);  // names descending: b, a
  Students()->selectRow(1);     // a
  frm.hide();
  Sql("update Users set PassWord='new-a' where UserId='a';");  // as CHGPSW does
  EXPECT_EQ(StudentColumn(4), (std::vector<QString>{"old-b", "old-a"}));

  frm.TrayIcon1Click();
  EXPECT_EQ(StudentColumn(4), (std::vector<QString>{"old-b", "new-a"}));
  EXPECT_EQ(StudentColumn(2), (std::vector<QString>{"b", "a"})) << "the order stays";
  EXPECT_EQ(SelectedStudentRow(), 1) << "the selection stays";
  EXPECT_TRUE(dialogs.AllShown().empty());
}

TEST_F(MainWindowTest, LinksShowTheirWindows) {
  console::TSMainFrm& frm = Start();
  frm.show();
  const struct {
    const char* link;
    QWidget* window;
    const char* caption;
  } kLinks[] = {
      {"Label7", timeTable.get(), "课程表设置"},
      {"Label8", log.get(), "查看日志"},
      {"Label6", money.get(), "你的打赏是我的动力"},
  };
  for (const auto& link : kLinks) {
    SCOPED_TRACE(link.link);
    EXPECT_EQ(link.window->windowTitle(), QString::fromUtf8(link.caption));
    EXPECT_FALSE(link.window->isVisible());
    QTest::mouseClick(Find<QLabel>(link.link), Qt::LeftButton);
    EXPECT_TRUE(link.window->isVisible());
    link.window->close();
    EXPECT_FALSE(link.window->isVisible());
  }
  // Closing a side window only hides it; the main window and the service go on.
  EXPECT_TRUE(frm.isVisible());
  EXPECT_TRUE(service->Running());
}

}  // namespace
}  // namespace orvo::testing
