#include "console/main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/AddUserUnit.h"
#include "console/DatabaseSetup.h"
#include "console/Dialogs.h"
#include "console/LogUnit.h"
#include "console/MoneyUnit.h"
#include "console/OnlineUnit.h"
#include "console/PackFolderAction.h"
#include "console/ReportList.h"
#include "console/ReportUnit.h"
#include "console/StatusLine.h"
#include "console/TimeTableUnit.h"
#include "console/WindowSupport.h"
#include "core/Autostart.h"
#include "core/SettingsValues.h"
#include "core/Version.h"
#include "platform/PathSyntax.h"
#include "service/OrvoService.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::console {

const QString TSMainFrm::kCaption =
    QStringLiteral("Orvo校园版服务端V") + QString::fromLatin1(orvo::kVersion);
const QString TSMainFrm::kTrayHint = QStringLiteral("Orvo服务端");

TSMainFrm::TSMainFrm(service::OrvoService& service, Dialogs& dialogs, bool trayAvailable,
                     QWidget* parent)
    : QWidget(parent),
      service_(service),
      dialogs_(dialogs),
      trayAvailable_(trayAvailable),
      classList_(service) {
  Qt::WindowFlags frame =
      Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
  // Without a notification area, minimising is the window's way out of sight.
  if (!trayAvailable_) frame |= Qt::WindowMinimizeButtonHint;
  setWindowFlags(frame);
  setObjectName(QStringLiteral("SMainFrm"));
  setWindowTitle(kCaption);
  setWindowIcon(style()->standardIcon(QStyle::SP_DriveNetIcon));
  BuildControls();
  // Packing shows paths of any length in Label4; they must not widen the fixed-size window.
  Label4->setMinimumWidth(Label4->sizeHint().width());
  Label4->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  status_ = new StatusLine(*Label4);
  packFolder_ = std::make_unique<PackFolderAction>(
      dialogs_, [this](const QString& status) { status_->Show(status); },
      // Students' folders are what is packed most often.
      [this] { return Text(service_.State().settings.RootPath.Get()); },
      [this] { status_->HintLater(); });

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  Timer1->setInterval(kStartupDelayMs);
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

  if (trayAvailable_) {
    TrayIcon1 = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->setToolTip(kTrayHint);
    connect(TrayIcon1, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
              if (reason == QSystemTrayIcon::Trigger) TrayIcon1Click();
            });
    TrayIcon1->show();
  }

  adjustSize();
  CentreOnScreen(*this);
  Button6->setFocus();

  FormCreate();
  Timer1->start();
}

TSMainFrm::~TSMainFrm() = default;

void TSMainFrm::AttachWindows(TAddUserFrm* addUser, TTimeTableFrm* timeTable, TLogFrm* log,
                              TMoneyFrm* money, TOnlineFrm* online, TReportForm* report) {
  addUserFrm_ = addUser;
  timeTableFrm_ = timeTable;
  logFrm_ = log;
  moneyFrm_ = money;
  onlineFrm_ = online;
  reportFrm_ = report;
}

void TSMainFrm::Guarded(const std::function<void()>& body) {
  console::Guarded(dialogs_, body);
}

// --- start-up and lifecycle ---

void TSMainFrm::FormCreate() {
  try {
    // Opens the database, loads the settings and only then listens, so no request is served
    // before both exist. A failure leaves neither database nor server behind.
    service_.Start();
    classList_.SetStartError({});
    // The protocol runs without the browser portal when its port is taken: the teacher is told,
    // and every control stays usable.
    if (const std::string problem = service_.HttpProblem(); !problem.empty()) {
      const QString why =
          QStringLiteral(
              "学生网页没有启动（%"
              "1）。学生仍可以用客户端登录；关闭占用这个端口的程序后重新启动控制台即可。")
              .arg(Text(problem));
      StartProblem->setText(why);
      StartProblem->setToolTip(why);
      StartProblem->show();
    }
    const core::SettingsValues& settings = service_.State().settings;
    RootPathEdit->setText(Text(settings.RootPath.Get()));
    PublicPathEdit->setText(Text(settings.PublicPath.Get()));
    CheckBox2->setChecked(settings.GroupList.load() == 1);
    CheckBox3->setChecked(settings.AutoRun.load() == 1);
    classList_.LoadClasses();
    ShowClasses();
  } catch (const std::exception& e) {
    if (service_.Db()) {
      dialogs_.Error(QString::fromUtf8(e.what()));
      return;
    }
    const QString why = StartFailureText(service_.DatabasePath(), service_.Port(), e);
    classList_.SetStartError(Utf8(why));
    ShowStartFailure(why);
  }
}

void TSMainFrm::ShowStartFailure(const QString& why) {
  StartProblem->setText(why);
  StartProblem->setToolTip(why);
  StartProblem->show();
  // Packing, the log, the support dialog and "退出" work without the service.
  for (QWidget* control : std::initializer_list<QWidget*>{
           Button1, Button2, Button3, CheckBox2, CheckBox3, CheckBox4, Label7, Label10, Label11,
           ComboBox1, Label9, Button4, Button5, ListView1, Edit1, Button9, Button7, Button8}) {
    control->setEnabled(false);
    control->setToolTip(why);
  }
}

void TSMainFrm::Timer1Timer() {
  Timer1->stop();
  Guarded([this] {
    if (service_.PauseGateIfTimetableEmpty()) CheckBox4->setChecked(true);
    if (!RootPathEdit->text().isEmpty()) HideToTray();
  });
}

void TSMainFrm::HideToTray() {
  if (trayAvailable_) {
    hide();
  } else {
    showMinimized();
  }
}

bool TSMainFrm::FormCloseQuery() {
  if (exiting_) return true;
  HideToTray();
  return false;
}

void TSMainFrm::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery()) {
    event->ignore();
    return;
  }
  event->accept();
  FormClose();
}

void TSMainFrm::FormClose() {
  if (closed_) return;
  closed_ = true;
  if (TrayIcon1) TrayIcon1->hide();
  packFolder_->Stop();  // a packing under way ends here, before the window can go
  service_.Stop();      // no more listening; live connections closed and their threads joined
  if (onClosed_) onClosed_();
}

bool TSMainFrm::ConfirmQuit() {
  net::TOrvoServer* server = service_.Server();
  if (!server || !server->Active()) return true;
  const std::size_t logins = server->OnlineLogins().size();
  const std::size_t connections = server->LiveConnections();
  if (logins == 0 && connections == 0) return true;
  return dialogs_.Confirm(
      QStringLiteral("退出"),
      QStringLiteral("现在有 %1 名学生登录着，%2 个连接正在使用服务。\n"
                     "退出会停止整个班级的服务：所有学生都不能再使用虚拟盘。确定退出吗？")
          .arg(logins)
          .arg(connections));
}

void TSMainFrm::Button6Click() {
  if (!ConfirmQuit()) return;
  exiting_ = true;
  close();
}

void TSMainFrm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  RefreshStudents();
}

void TSMainFrm::TrayIcon1Click() {
  showNormal();
  raise();
  activateWindow();
}

void TSMainFrm::Label6Click() {
  if (moneyFrm_) moneyFrm_->ShowSupport();
}

void TSMainFrm::Label7Click() {
  if (!timeTableFrm_) return;
  timeTableFrm_->show();
  timeTableFrm_->raise();
  timeTableFrm_->activateWindow();
}

void TSMainFrm::Label8Click() {
  if (logFrm_) logFrm_->ShowSysLog();
}

void TSMainFrm::Label10Click() {
  if (onlineFrm_) onlineFrm_->ShowOnline();
}

void TSMainFrm::Label11Click() {
  if (reportFrm_) reportFrm_->ShowReport();
}

void TSMainFrm::Button10Click() {
  status_->ShowHint();  // what the last packing said has been read by now
  packFolder_->Run();
}

// --- settings panel ---

void TSMainFrm::Button1Click() {
  const std::optional<QString> folder = dialogs_.PickFolder(Label1->text(), RootPathEdit->text());
  if (!folder) return;
  RootPathEdit->setText(*folder);
  service_.State().settings.RootPath.Set(Utf8(*folder));
}

void TSMainFrm::Button2Click() {
  const std::optional<QString> folder = dialogs_.PickFolder(Label2->text(), PublicPathEdit->text());
  if (!folder) return;
  PublicPathEdit->setText(*folder);
  service_.State().settings.PublicPath.Set(Utf8(*folder));
}

void TSMainFrm::Button3Click() {
  Guarded([this] {
    const core::SettingsValues& settings = service_.State().settings;
    classList_.Db().SetSetting(settings.RootPath.Get(), settings.PublicPath.Get(),
                               settings.GroupList.load(), settings.UserList.load(),
                               settings.AutoRun.load());
  });
}

void TSMainFrm::CheckBox2Click() {
  service_.State().settings.GroupList.store(CheckBox2->isChecked() ? 1 : 0);
}

void TSMainFrm::CheckBox3Click() {
  const int32_t state = CheckBox3->isChecked() ? 1 : 0;
  // Equal when start-up ticks the box for a saved AutoRun 1: start-up never writes the entry.
  if (state == service_.State().settings.AutoRun.load()) return;
  Guarded([this, state] {
    // The entry names the database's folder: started at logon from the home folder, the console
    // would otherwise open the database beside the program.
    core::SetAutoStart(state == 1, kAutoStartName,
                       {"--dir", platform::FolderOf(service_.DatabasePath())});
    service_.State().settings.AutoRun.store(state);
  });
}

void TSMainFrm::CheckBox4Click() {
  Guarded([this] {
    classList_.Db().SetStopTimeTable(CheckBox4->isChecked());
    // Logins taken during the pause are judged by the timetable again from now on.
    RecheckLogins(service_);
  });
}

// --- classes and students ---

void TSMainFrm::ShowClasses() {
  ComboBox1->clear();
  ComboBox1->addItems(classList_.Classes());
  ComboBox1->setCurrentIndex(-1);
}

void TSMainFrm::ShowStudents(int selected) {
  ShowReportRows(*ListView1, classList_.Students());
  if (selected >= 0) ListView1->selectRow(selected);
}

int TSMainFrm::SelectedStudentRow() const {
  return SelectedReportRow(*ListView1);
}

void TSMainFrm::ComboBox1Change() {
  const int index = ComboBox1->currentIndex();
  if (index < 0) return;
  RefreshListView(ComboBox1->itemText(index));
}

void TSMainFrm::Button4Click() {
  Guarded([this] {
    classList_.Db();  // without a database there is nothing to add to: say so before asking
    const QString name =
        dialogs_.InputBox(QStringLiteral("添加班级"), QStringLiteral("班级名称："), QString());
    if (name.isEmpty()) return;  // cancelled
    const store::AddResult result =
        classList_.AddClass(name, [this](int position, const QString& stored) {
          ComboBox1->insertItem(position, stored);
          ComboBox1->setCurrentIndex(position);
        });
    if (result.added.empty()) {
      dialogs_.Error(ClassNotAddedText(result));
      return;
    }
    ComboBox1Change();  // the new class is picked: its (empty) student list shows
  });
}

void TSMainFrm::Button5Click() {
  const int index = ComboBox1->currentIndex();
  if (index < 0) return;
  if (!dialogs_.Confirm(QStringLiteral("删除班级"),
                        QStringLiteral("确定删除班级“%1”吗？\n"
                                       "它的学生仍留在数据库中，正在登录的学生会被断开。")
                            .arg(ComboBox1->itemText(index)))) {
    return;
  }
  Guarded([this, index] {
    classList_.DeleteClass(index);
    ComboBox1->removeItem(index);
    ComboBox1->setCurrentIndex(-1);
  });
}

int TSMainFrm::ListView1Compare(const StudentTexts& a, const StudentTexts& b) const {
  return classList_.Compare(a, b);
}

void TSMainFrm::ListView1ColumnClick(int column) {
  ShowStudents(classList_.SortBy(column, SelectedStudentRow()));
}

void TSMainFrm::RefreshListView(const QString& aGroup) {
  ShowReportRows<kStudentColumns>(*ListView1, {});
  Guarded([this, &aGroup] {
    classList_.LoadStudents(aGroup);
    ShowStudents();
  });
}

void TSMainFrm::RefreshStudents() {
  const int index = ComboBox1->currentIndex();
  if (index < 0 || !service_.Db()) return;
  const QString group = ComboBox1->itemText(index);
  int selected = -1;
  // A failure leaves the list empty; it is shown so, never with rows the list no longer has.
  Guarded([this, &group, &selected] {
    selected = classList_.ReloadStudents(group, SelectedStudentRow());
  });
  ShowStudents(selected);
}

void TSMainFrm::Button7Click() {
  if (!addUserFrm_) return;
  Guarded([this] {
    classList_.Db();  // no dialog without a database
    const int index = ComboBox1->currentIndex();
    if (index < 0) {
      dialogs_.Info(QStringLiteral("请先在“班级”列表中选择要添加学生的班级。"));
      return;
    }
    const QString group = ComboBox1->itemText(index);
    addUserFrm_->setWindowTitle(QStringLiteral("添加学生到班级") + group);
    addUserFrm_->Memo1->clear();
    if (dialogs_.RunModal(*addUserFrm_)) {
      const store::AddResult result = classList_.AddStudents(addUserFrm_->Names(), group);
      RefreshListView(group);
      const QString report = StudentsAddedText(result);
      if (result.refused.empty()) {
        dialogs_.Info(report);
      } else {
        dialogs_.Error(report);
      }
      return;
    }
    RefreshListView(group);
  });
}

void TSMainFrm::Button8Click() {
  const int row = SelectedStudentRow();
  if (row < 0) return;
  const std::vector<StudentTexts>& students = classList_.Students();
  const QString group = students.at(static_cast<std::size_t>(row))[1];
  const QString name = students.at(static_cast<std::size_t>(row))[2];
  const auto namesakes = std::count_if(students.begin(), students.end(),
                                       [&name](const StudentTexts& s) { return s[2] == name; });
  QString question = QStringLiteral("确定删除班级“%1”的学生“%2”吗？").arg(group, name);
  if (namesakes > 1) {
    question += QStringLiteral("\n班级里同名的 %1 名学生都会被删除。").arg(namesakes);
  }
  question += QStringLiteral("\n正在登录的会被断开。");
  if (!dialogs_.Confirm(QStringLiteral("删除学生"), question)) return;
  Guarded([this, row, &group] {
    classList_.DeleteStudent(row);
    RefreshListView(group);
  });
}

void TSMainFrm::Button9Click() {
  const int row = classList_.FindStudent(Edit1->text());
  if (row < 0) {
    dialogs_.Info(QStringLiteral("未找到"));
    return;
  }
  ListView1->setCurrentCell(row, 0);
  ListView1->selectRow(row);
  ListView1->scrollToItem(ListView1->item(row, 0), QAbstractItemView::EnsureVisible);
}

void TSMainFrm::Label9Click() {
  Guarded([this] {
    const ClassListControl::CurrentLesson current = classList_.CurrentClass();
    ComboBox1->setCurrentIndex(current.position);
    ComboBox1Change();
    dialogs_.Info(current.text);
  });
}

}  // namespace orvo::console
