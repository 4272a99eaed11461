// TSMainFrm: the main window of the operator console. Its creation brings the service up through
// OrvoService; its controls keep the folders, the options, the classes and their students; only
// "退出" closes it for good, which stops the service. Handlers are public so that tests drive the
// window as the operator does; a failure inside one is shown through Dialogs::Error and ends that
// handler. Window thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
namespace orvo::store {
class TOrvoDiskDb;
}

namespace orvo::console {

class Dialogs;
class PackFolderAction;
class TAddUserFrm;
class TLogFrm;
class TMoneyFrm;
class TOnlineFrm;
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
                     TOnlineFrm* online = nullptr);
  // Runs once the window has closed for good and the service has stopped.
  void SetOnClosed(std::function<void()> onClosed) { onClosed_ = std::move(onClosed); }

  // --- start-up and lifecycle ---
  void FormCreate();
  void Timer1Timer();
  // Whether a close may go ahead: only with the exit flag set; otherwise the window goes to the
  // notification area (or is minimised) and stays alive.
  bool FormCloseQuery();
  void FormClose();
  void Button6Click();
  void TrayIcon1Click();
  void Label6Click();
  void Label7Click();
  void Label8Click();
  // "在线学生": the live logins and blocked addresses.
  void Label10Click();
  // "文件夹打包": packs a chosen folder into a zip archive beside it, progress in Label4.
  void Button10Click();

  // --- settings panel ---
  void Button1Click();
  void Button2Click();
  void Button3Click();
  // The check boxes run these whenever their state changes, by a click or from code.
  void CheckBox2Click();
  void CheckBox3Click();
  void CheckBox4Click();

  // --- classes and students ---
  void ComboBox1Change();
  void Button4Click();
  void Button5Click();
  void ListView1ColumnClick(int column);
  int ListView1Compare(const StudentTexts& a, const StudentTexts& b) const;
  void Button7Click();
  void Button8Click();
  void Button9Click();
  void Label9Click();
  void RefreshListView(const QString& aGroup);

  int SortCol() const { return sortCol_; }
  int SortWay() const { return sortWay_; }
  bool Exiting() const { return exiting_; }
  // The folder packing behind Button10.
  PackFolderAction& Packing() { return *packFolder_; }
  bool TrayAvailable() const { return trayAvailable_; }

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

 private:
  void BuildControls();
  // Hides the window into the notification area, or minimises it where there is none.
  void HideToTray();
  // The database of the started service; raises the start-up failure when there is none.
  store::TOrvoDiskDb& Db();
  // Runs `body`, showing a raised failure's message in an error box.
  void Guarded(const std::function<void()>& body);

  QStringList ClassNames() const;
  std::vector<StudentTexts> StudentRows() const;
  void ShowStudentRows(const std::vector<StudentTexts>& rows);
  void SortListView();
  int SelectedStudentRow() const;
  // Ends at once the logins of a deleted class (of its student with `loginId`, when one is given),
  // so that nobody works on in a folder the operator took away.
  void EndLoginsOf(const std::string& group, const std::string& loginId = {});
  // Has every login asked the timetable again at its next command.
  void RecheckLogins();

  service::OrvoService& service_;
  Dialogs& dialogs_;
  const bool trayAvailable_;
  TAddUserFrm* addUserFrm_ = nullptr;
  TTimeTableFrm* timeTableFrm_ = nullptr;
  TLogFrm* logFrm_ = nullptr;
  TMoneyFrm* moneyFrm_ = nullptr;
  TOnlineFrm* onlineFrm_ = nullptr;
  std::function<void()> onClosed_;

  bool exiting_ = false;
  bool closed_ = false;
  std::string startError_;  // why the service did not start; empty once it has
  int sortCol_ = 0;
  int sortWay_ = 0;
  std::unique_ptr<PackFolderAction> packFolder_;
};

}  // namespace orvo::console
