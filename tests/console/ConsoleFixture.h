// A console on a fresh database: a temporary folder holding orvoDisk.db (made from the schema), a
// service on a free port with a hand-set clock, the main window over it with scripted dialogs, and
// the other windows attached. The autostart folder points into a temporary folder too; each
// service brings its own settings values and log.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/AddUserUnit.h"
#include "console/LogUnit.h"
#include "console/MoneyUnit.h"
#include "console/OnlineUnit.h"
#include "console/ReportUnit.h"
#include "console/TimeTableUnit.h"
#include "console/main.h"
#include "core/ServiceState.h"
#include "platform/Clock.h"
#include "service/OrvoService.h"
#include "tests/console/ScriptedDialogs.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestDatabase.h"

namespace orvo::testing {

class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() {
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    CreateDatabaseFromSchema(DatabasePath());
    // Far from the clock's start, so the gate's first check reads the timetable.
    clock.SetTickCount(10'000'000);
  }
  ~ConsoleTest() override {
    Stop();
    ::unsetenv("XDG_CONFIG_HOME");
  }
  void TearDown() override {
    EXPECT_TRUE(dialogs.AllAnswersUsed()) << "a scripted answer was left";
  }

  std::string DatabasePath() const { return dir / "orvoDisk.db"; }
  std::string AutostartEntry() const { return config / "autostart/orvoDiskServer.desktop"; }

  // Runs statements on the database beside the service, as another program would.
  void Sql(const std::string& statements) { RawConnection(DatabasePath()).Exec(statements); }
  std::vector<std::string> Column(const std::string& select) {
    return RawConnection(DatabasePath()).Column(select);
  }

  // A service over `folder` (default: the test's) on `port` and the windows over it, created in
  // the program's order.
  console::TSMainFrm& Start(bool trayAvailable = false, const std::string& folder = {},
                            uint16_t port = 0, std::optional<uint16_t> httpPort = std::nullopt) {
    service = std::make_unique<service::OrvoService>(folder.empty() ? dir.Path().string() : folder,
                                                     port, clock);
    service->SetHttpPort(httpPort);
    window = std::make_unique<console::TSMainFrm>(*service, dialogs, trayAvailable);
    addUser = std::make_unique<console::TAddUserFrm>();
    timeTable = std::make_unique<console::TTimeTableFrm>(*service, dialogs);
    log = std::make_unique<console::TLogFrm>(service->State().sysLog, dialogs);
    money = std::make_unique<console::TMoneyFrm>();
    online = std::make_unique<console::TOnlineFrm>(*service, dialogs);
    report = std::make_unique<console::TReportForm>(*service, dialogs, clock);
    window->AttachWindows(addUser.get(), timeTable.get(), log.get(), money.get(), online.get(),
                          report.get());
    // Tests tick the start-up timer themselves (Timer1Timer), so that a slow run never has it
    // fire in between.
    EXPECT_TRUE(window->Timer1->isActive());
    window->Timer1->stop();
    return *window;
  }
  // Ends the program as a restart would: windows gone, service stopped and with it the settings
  // values and the log it held.
  void Stop() {
    report.reset();
    online.reset();
    money.reset();
    log.reset();
    timeTable.reset();
    addUser.reset();
    window.reset();
    service.reset();
  }

  // The running service's settings values and log, as the windows read them.
  core::SettingsValues& Settings() { return service->State().settings; }
  core::TSysStringS& SysLog() { return service->State().sysLog; }

  template <typename Widget>
  Widget* Find(const char* name) {
    auto* widget = window->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << "no control " << name;
    return widget;
  }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  QCheckBox* Box(const char* name) { return Find<QCheckBox>(name); }
  QComboBox* Classes() { return Find<QComboBox>("ComboBox1"); }
  QTableWidget* Students() { return Find<QTableWidget>("ListView1"); }

  QStringList ClassItems() {
    QStringList items;
    for (int i = 0; i < Classes()->count(); ++i) items.append(Classes()->itemText(i));
    return items;
  }
  // Picks a class as the operator does: selection, then the change handler.
  void PickClass(const QString& name) {
    const int index = Classes()->findText(name);
    ASSERT_GE(index, 0) << name.toStdString();
    Classes()->setCurrentIndex(index);
    window->ComboBox1Change();
  }
  // One column of the student list, top to bottom.
  std::vector<QString> StudentColumn(int column) {
    std::vector<QString> texts;
    for (int r = 0; r < Students()->rowCount(); ++r)
      texts.push_back(Students()->item(r, column)->text());
    return texts;
  }
  int SelectedStudentRow() {
    const QModelIndexList rows = Students()->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
  }

  TempDir dir;
  TempDir config;
  platform::ManualClock clock;
  ScriptedDialogs dialogs;
  std::unique_ptr<service::OrvoService> service;
  std::unique_ptr<console::TSMainFrm> window;
  std::unique_ptr<console::TAddUserFrm> addUser;
  std::unique_ptr<console::TTimeTableFrm> timeTable;
  std::unique_ptr<console::TLogFrm> log;
  std::unique_ptr<console::TMoneyFrm> money;
  std::unique_ptr<console::TOnlineFrm> online;
  std::unique_ptr<console::TReportForm> report;
};

}  // namespace orvo::testing
