// TSMainFrm: the main window of the operator console. Its creation brings the service up through
// OrvoService; its controls show the folders, the options, the classes and their students, whose
// logic lives in ClassListControl (the controls are built in MainWindowLayout.cpp); only
// "退出" closes it for good, which stops the service. When the service cannot start, the window
// says why at its top and disables every control that needs the service. Handlers are public so
// that tests drive the window as the operator does; a failure inside one is shown through
// Dialogs::Error and ends that handler. Window thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "console/ClassListControl.h"
#include "console/ConsoleRules.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSystemTrayIcon;
class QTableWidget;
class QTimer;

namespace orvo::service {
class OrvoService;
}

namespace orvo::console {

class Dialogs;
class PackFolderAction;
class StatusLine;
class TAddUserFrm;
class TLogFrm;
class TMoneyFrm;
class TOnlineFrm;
class TReportForm;
class TTimeTableFrm;

class TSMainFrm final : public QWidget {
 public:
  // The main window's caption and the tray icon's hint.
  static const QString kCaption;
  static const QString kTrayHint;
  // The value name of the start-at-logon entry.
  static constexpr char kAutoStartName[] = "orvoDiskServer";
  // Timer1 fires once, this long after the window was created.
  static constexpr int kStartupDelayMs = 1000;

  // Builds the controls and runs FormCreate, which starts `service`; Timer1 is then running.
  // `trayAvailable` says whether the desktop has a notification area: without one the window is
  // minimised where it would otherwise be hidden, since a hidden window could not be reached.
  TSMainFrm(service::OrvoService& service, Dialogs& dialogs, bool trayAvailable,
            QWidget* parent = nullptr);
  ~TSMainFrm() override;

  // The windows created after this one; the links and "添加" show them. Any may be null.
  void AttachWindows(TAddUserFrm* addUser, TTimeTableFrm* timeTable, TLogFrm* log, TMoneyFrm* money,
                     TOnlineFrm* online = nullptr, TReportForm* report = nullptr);
  // Runs once the window has closed for good and the service has stopped.
  void SetOnClosed(std::function<void()> onClosed) { onClosed_ = std::move(onClosed); }

  // --- start-up and lifecycle ---
  // Starts the service and fills the folders, the options and the class list from it; when it
  // cannot start, shows why in StartProblem and disables the controls that need it. A browser
  // portal that could not start is named there too, with every control left usable.
  void FormCreate();
  // Once after start-up: pauses the gate over an empty timetable, and goes to the notification
  // area when the folders are set.
  void Timer1Timer();
  // Whether a close may go ahead: only with the exit flag set; otherwise the window goes to the
  // notification area (or is minimised) and stays alive.
  bool FormCloseQuery();
  // The window has closed for good: ends a packing under way and stops the service.
  void FormClose();
  // "退出": sets the exit flag and closes; while students are logged in or connected, only once
  // the operator confirms that the service stops for all of them.
  void Button6Click();
  // Shows the window again from the notification area.
  void TrayIcon1Click();
  // "打赏作者": the support dialog.
  void Label6Click();
  // "设置课程表": the timetable window.
  void Label7Click();
  // "查看记录": the system log window.
  void Label8Click();
  // "在线学生": the live logins and blocked addresses.
  void Label10Click();
  // "作业情况": who handed in what, collecting and handing out.
  void Label11Click();
  // "文件夹打包": packs a chosen folder into a zip archive beside it, progress in Label4.
  void Button10Click();

  // --- settings panel ---
  // Picks the students' root folder.
  void Button1Click();
  // Picks the public folder.
  void Button2Click();
  // "保存": stores the settings values in the database.
  void Button3Click();
  // The check boxes run these whenever their state changes, by a click or from code.
  // "显示学生列表": whether clients may list the students.
  void CheckBox2Click();
  // "开机自启动": writes or removes the start-at-logon entry.
  void CheckBox3Click();
  // "暂停课程表设置": pauses or resumes the timetable gate.
  void CheckBox4Click();

  // --- classes and students ---
  // A class picked: its students are listed.
  void ComboBox1Change();
  // "+": asks for a class name and adds the class.
  void Button4Click();
  // "－": deletes the picked class once the operator confirms.
  void Button5Click();
  // A header click: sorts the students by that column, flipping the direction.
  void ListView1ColumnClick(int column);
  // The students' order: negative when `a` comes first.
  int ListView1Compare(const StudentTexts& a, const StudentTexts& b) const;
  // "添加": adds the students typed in the add-students dialog to the picked class.
  void Button7Click();
  // "删除": deletes the selected student (with every namesake in the class) once the operator
  // confirms.
  void Button8Click();
  // "查找": selects the first student whose name contains the typed text.
  void Button9Click();
  // "当前班级": picks the class of the lesson now and says which it is, or why there is none.
  void Label9Click();
  // Lists the students of `aGroup` again, sorted by name.
  void RefreshListView(const QString& aGroup);
  // Reads the picked class's students again, keeping their order and the selected student: what
  // is shown follows changes made elsewhere (a student's new password). Runs whenever the window
  // is shown (also from the notification area).
  void RefreshStudents();

  int SortCol() const { return classList_.SortCol(); }
  int SortWay() const { return classList_.SortWay(); }
  bool Exiting() const { return exiting_; }
  bool TrayAvailable() const { return trayAvailable_; }
  // The folder packing behind Button10.
  PackFolderAction& Packing() { return *packFolder_; }
  // Label4's texts.
  StatusLine& Status() { return *status_; }

  // Why the service did not start; hidden while it runs.
  QLabel* StartProblem;
  // Upper panel.
  QFrame* Panel2;
  QLabel* Label1;
  QLineEdit* RootPathEdit;
  QPushButton* Button1;
  QLabel* Label2;
  QLineEdit* PublicPathEdit;
  QPushButton* Button2;
  QPushButton* Button10;
  QCheckBox* CheckBox2;
  QCheckBox* CheckBox4;
  QCheckBox* CheckBox3;
  QLabel* Label7;
  QLabel* Label8;
  QLabel* Label10;
  QLabel* Label11;
  QLabel* Label4;
  QPushButton* Button3;
  QPushButton* Button6;
  // Lower panel.
  QFrame* Panel4;
  QLabel* Label3;
  QComboBox* ComboBox1;
  QLabel* Label9;
  QPushButton* Button4;
  QPushButton* Button5;
  QTableWidget* ListView1;
  QLabel* Label5;
  QLineEdit* Edit1;
  QPushButton* Button9;
  QPushButton* Button7;
  QPushButton* Button8;
  QLabel* Label6;
  // Not visual.
  QSystemTrayIcon* TrayIcon1 = nullptr;  // only where the desktop has a notification area
  QTimer* Timer1;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Creates, lays out and connects the controls (MainWindowLayout.cpp).
  void BuildControls();
  // Says `why` in StartProblem and disables, with `why` as their tooltip, the controls that
  // cannot work without the service.
  void ShowStartFailure(const QString& why);
  // Whether "退出" may stop the service: asks when students are logged in or connected.
  bool ConfirmQuit();
  // Hides the window into the notification area, or minimises it where there is none.
  void HideToTray();
  // Runs `body`, showing a raised failure's message in an error box.
  void Guarded(const std::function<void()>& body);
  // Shows the classes, none picked.
  void ShowClasses();
  // Shows the students; the row at `selected` is selected again.
  void ShowStudents(int selected = -1);
  int SelectedStudentRow() const;

  service::OrvoService& service_;
  Dialogs& dialogs_;
  const bool trayAvailable_;
  TAddUserFrm* addUserFrm_ = nullptr;
  TTimeTableFrm* timeTableFrm_ = nullptr;
  TLogFrm* logFrm_ = nullptr;
  TMoneyFrm* moneyFrm_ = nullptr;
  TOnlineFrm* onlineFrm_ = nullptr;
  TReportForm* reportFrm_ = nullptr;
  std::function<void()> onClosed_;

  ClassListControl classList_;
  bool exiting_ = false;
  bool closed_ = false;
  StatusLine* status_;  // owned by Label4
  std::unique_ptr<PackFolderAction> packFolder_;
};

}  // namespace orvo::console
