// The settings panel: folder pickers, save, and the three option boxes with their click rules.
#include <QTest>

#include "platform/Autostart.h"
#include "tests/console/ConsoleFixture.h"

namespace orvo::testing {
namespace {

namespace fs = std::filesystem;
using Kind = ScriptedDialogs::Kind;

class SettingsPanelTest : public ConsoleTest {};

TEST_F(SettingsPanelTest, FolderPickersTakeTheChosenFolderAndCancelChangesNothing) {
  const struct {
    const char* prompt;
    const char* edit;
    void (console::TSMainFrm::*click)();
    core::SharedText core::SettingsValues::*value;
  } kPickers[] = {
      {"学生组根目录：", "RootPathEdit", &console::TSMainFrm::Button1Click,
       &core::SettingsValues::RootPath},
      {"课堂资源目录：", "PublicPathEdit", &console::TSMainFrm::Button2Click,
       &core::SettingsValues::PublicPath},
  };
  console::TSMainFrm& frm = Start();
  for (const auto& picker : kPickers) {
    SCOPED_TRACE(picker.edit);
    dialogs.Forget();
    dialogs.AnswerFolder(QStringLiteral("/srv/班级 一"));
    (frm.*picker.click)();
    ASSERT_EQ(dialogs.AllShown().size(), 1u);
    EXPECT_EQ(dialogs.AllShown()[0].kind, Kind::Folder);
    EXPECT_EQ(dialogs.AllShown()[0].text, QString::fromUtf8(picker.prompt));
    EXPECT_EQ(Edit(picker.edit)->text(), QStringLiteral("/srv/班级 一"));
    EXPECT_EQ((Settings().*picker.value).Get(), "/srv/班级 一");

    dialogs.AnswerFolder(std::nullopt);
    (frm.*picker.click)();
    EXPECT_EQ(Edit(picker.edit)->text(), QStringLiteral("/srv/班级 一"));
    EXPECT_EQ((Settings().*picker.value).Get(), "/srv/班级 一");
    // Each picker opens at the folder it shows.
    EXPECT_EQ(dialogs.PickerStarts(), (std::vector<QString>{"", "/srv/班级 一"}));
  }
  // Picking stores nothing; only saving does.
  EXPECT_TRUE(Column("select count(*) from Setting") == std::vector<std::string>{"0"});
}

TEST_F(SettingsPanelTest, SavedValuesComeBackAtTheNextStartUnsavedOnesDoNot) {
  console::TSMainFrm& first = Start();
  dialogs.AnswerFolder(QStringLiteral("/srv/root"));
  first.Button1Click();
  dialogs.AnswerFolder(QStringLiteral("/srv/public"));
  first.Button2Click();
  Box("CheckBox2")->setChecked(true);
  first.Button3Click();
  dialogs.AnswerFolder(QStringLiteral("/srv/elsewhere"));
  first.Button1Click();
  Box("CheckBox2")->setChecked(false);
  EXPECT_EQ(Settings().GroupList.load(), 0);
  Stop();

  console::TSMainFrm& second = Start();
  (void)second;
  EXPECT_EQ(Edit("RootPathEdit")->text(), QStringLiteral("/srv/root"));
  EXPECT_EQ(Edit("PublicPathEdit")->text(), QStringLiteral("/srv/public"));
  EXPECT_TRUE(Box("CheckBox2")->isChecked());
  EXPECT_EQ(Settings().GroupList.load(), 1);
  EXPECT_EQ(Settings().UserList.load(), 1);
  EXPECT_EQ(Settings().RootPath.Get(), "/srv/root");
  EXPECT_TRUE(dialogs.Errors().empty());
}

TEST_F(SettingsPanelTest, SaveFailureIsReportedAndValuesStay) {
  console::TSMainFrm& frm = Start();
  dialogs.AnswerFolder(QStringLiteral("/srv/root"));
  frm.Button1Click();
  Sql("drop table Setting;");
  frm.Button3Click();
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_TRUE(dialogs.Errors()[0].contains(QStringLiteral("Setting")))
      << dialogs.Errors()[0].toStdString();
  EXPECT_EQ(Settings().RootPath.Get(), "/srv/root");
}

TEST_F(SettingsPanelTest, ShowStudentListBoxSwitchesGroupListAtOnce) {
  console::TSMainFrm& frm = Start();
  frm.show();
  QCheckBox* box = Box("CheckBox2");
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
  EXPECT_TRUE(box->isChecked());
  EXPECT_EQ(Settings().GroupList.load(), 1);
  box->setChecked(false);
  EXPECT_EQ(Settings().GroupList.load(), 0);
}

TEST_F(SettingsPanelTest, AutostartBoxWritesAndRemovesTheEntryAtOnce) {
  Start();
  QCheckBox* box = Box("CheckBox3");
  box->setChecked(true);
  EXPECT_TRUE(dialogs.AllShown().empty());
  EXPECT_EQ(Settings().AutoRun.load(), 1);
  ASSERT_TRUE(fs::exists(AutostartEntry()));
  const std::string entry = TempDir::Read(AutostartEntry());
  // Started at logon from the home folder, the console must still open this database.
  EXPECT_NE(
      entry.find("Exec=" + platform::ExecutablePath() + " --dir " + dir.Path().string() + "\n"),
      std::string::npos)
      << entry;

  box->setChecked(false);
  EXPECT_EQ(Settings().AutoRun.load(), 0);
  EXPECT_FALSE(fs::exists(AutostartEntry()));
  EXPECT_TRUE(dialogs.AllShown().empty());
  // Not saved: the next start shows the box as last saved, whatever the entry says.
  box->setChecked(true);
  Stop();
  Start();
  EXPECT_FALSE(Box("CheckBox3")->isChecked());
  EXPECT_TRUE(fs::exists(AutostartEntry()));
}

TEST_F(SettingsPanelTest, AutostartFailureIsReportedAndAutoRunKeepsItsValue) {
  Start();
  // A plain file where the configuration folder should be: no entry can be made below it.
  const std::string blocker = config.Write("blocker", "");
  ::setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  QCheckBox* box = Box("CheckBox3");
  box->setChecked(true);
  EXPECT_EQ(dialogs.Errors(),
            std::vector<QString>{QStringLiteral("Failed to set data for 'orvoDiskServer'")});
  EXPECT_TRUE(box->isChecked());
  EXPECT_EQ(Settings().AutoRun.load(), 0);
  // Back to the old state: equal to AutoRun, so nothing happens at all.
  dialogs.Forget();
  box->setChecked(false);
  EXPECT_TRUE(dialogs.AllShown().empty());
  EXPECT_EQ(Settings().AutoRun.load(), 0);
}

TEST_F(SettingsPanelTest, PauseBoxSwitchesTheGate) {
  Sql("insert into TimeTable (Week, BeginTime, EndTime, GroupName) values (1, '08:00', '09:00', "
      "'x');");
  console::TSMainFrm& frm = Start();
  frm.Timer1Timer();
  QCheckBox* box = Box("CheckBox4");
  ASSERT_FALSE(box->isChecked());
  box->setChecked(true);
  EXPECT_TRUE(service->Db()->StopTimeTable());
  box->setChecked(false);
  EXPECT_FALSE(service->Db()->StopTimeTable());
}

}  // namespace
}  // namespace orvo::testing
