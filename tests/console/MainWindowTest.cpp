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

#include "tests/console/ConsoleFixture.h"
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
  EXPECT_EQ(frm.windowTitle(), QStringLiteral("Orvo校园版服务端V1.21"));
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

TEST_F(MainWindowTest, MissingDatabaseIsReportedAndNothingTouchesIt) {
  TempDir empty;
  console::TSMainFrm& frm = Start(false, empty.Path().string());
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_TRUE(dialogs.Errors()[0].contains(QStringLiteral("orvoDisk.db")))
      << dialogs.Errors()[0].toStdString();
  EXPECT_EQ(service->Db(), nullptr);
  EXPECT_FALSE(service->Running());
  EXPECT_FALSE(fs::exists(empty.Path() / "orvoDisk.db"));
  EXPECT_TRUE(Edit("RootPathEdit")->text().isEmpty());
  EXPECT_EQ(Classes()->count(), 0);

  frm.show();
  frm.Timer1Timer();
  EXPECT_FALSE(Box("CheckBox4")->isChecked());
  EXPECT_TRUE(frm.isVisible());
  EXPECT_EQ(dialogs.Errors().size(), 1u);

  // Handlers that need the database say why there is none instead of asking for input.
  dialogs.Forget();
  frm.Button4Click();
  frm.Button3Click();
  frm.Label9Click();
  ASSERT_EQ(dialogs.AllShown().size(), 3u);
  for (const auto& shown : dialogs.AllShown()) {
    EXPECT_EQ(shown.kind, Kind::Error);
    EXPECT_TRUE(shown.text.contains(QStringLiteral("orvoDisk.db")));
  }
  EXPECT_FALSE(fs::exists(empty.Path() / "orvoDisk.db"));
  frm.Button6Click();
  EXPECT_TRUE(frm.Exiting());
}

TEST_F(MainWindowTest, PortTakenIsReportedAndTheWindowShowsNothingSaved) {
  TempDir other;
  CreateDatabaseFromSchema(other / "orvoDisk.db");
  service::OrvoService holder(other.Path().string(), 0);
  holder.Start();
  Sql("insert into Setting values ('/srv/root', '/srv/pub', 1, 1, 0);"
      "insert into Groups values ('一班');");

  console::TSMainFrm& frm = Start(false, {}, holder.Port());
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_TRUE(dialogs.Errors()[0].contains(QString::number(holder.Port())))
      << dialogs.Errors()[0].toStdString();
  EXPECT_EQ(service->Db(), nullptr);
  EXPECT_TRUE(Edit("RootPathEdit")->text().isEmpty());
  EXPECT_TRUE(Edit("PublicPathEdit")->text().isEmpty());
  EXPECT_FALSE(Box("CheckBox2")->isChecked());
  EXPECT_EQ(Classes()->count(), 0);
  frm.show();
  frm.Timer1Timer();
  EXPECT_TRUE(frm.isVisible());
  EXPECT_TRUE(holder.Running());
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
