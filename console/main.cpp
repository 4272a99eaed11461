#include "console/main.h"

#include "console/ReportList.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "console/AddUserUnit.h"
#include "console/Dialogs.h"
#include "console/LinkLabel.h"
#include "console/LogUnit.h"
#include "console/MoneyUnit.h"
#include "console/OnlineUnit.h"
#include "console/PackFolderAction.h"
#include "console/TimeTableUnit.h"
#include "core/Autostart.h"
#include "core/SettingsValues.h"
#include "net/OrvoServer.h"
#include "service/OrvoService.h"

namespace orvo::console {
namespace {

const QColor kLinkColour(0x80, 0x00, 0x80);
const QColor kGreen(0x00, 0x80, 0x00);
const QColor kTeal(0x00, 0x80, 0x80);

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

std::string Utf8(const QString& text) {
  return text.toStdString();
}

template <typename Widget, typename... Args>
Widget* Make(QWidget* parent, const char* name, Args&&... args) {
  auto* widget = new Widget(std::forward<Args>(args)..., parent);
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QFrame* MakeStrip(QWidget* parent, const char* name) {
  auto* strip = Make<QFrame>(parent, name);
  strip->setFixedWidth(6);
  strip->setAutoFillBackground(true);
  QPalette colours = strip->palette();
  colours.setColor(QPalette::Window, kTeal);
  strip->setPalette(colours);
  return strip;
}

QLabel* MakeGreenLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = Make<QLabel>(parent, name, text);
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, kGreen);
  label->setPalette(colours);
  return label;
}

// A panel: a teal strip along its left edge beside `content`.
QFrame* MakePanel(QWidget* parent, QFrame* strip, QLayout* content) {
  auto* panel = new QFrame(parent);
  panel->setFrameShape(QFrame::StyledPanel);
  auto* layout = new QHBoxLayout(panel);
  layout->setContentsMargins(0, 0, 8, 0);
  layout->addWidget(strip);
  layout->addLayout(content);
  return panel;
}

}  // namespace

const QString TSMainFrm::kCaption = QStringLiteral("Orvo校园版服务端V1.21");
const QString TSMainFrm::kTrayHint = QStringLiteral("Orvo服务端");

TSMainFrm::TSMainFrm(service::OrvoService& service, Dialogs& dialogs, bool trayAvailable,
                     QWidget* parent)
    : QWidget(parent), service_(service), dialogs_(dialogs), trayAvailable_(trayAvailable) {
  Qt::WindowFlags frame =
      Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
  // Without a notification area, minimising is the window's way out of sight.
  if (!trayAvailable_) frame |= Qt::WindowMinimizeButtonHint;
  setWindowFlags(frame);
  setObjectName(QStringLiteral("SMainFrm"));
  setWindowTitle(kCaption);
  setWindowIcon(style()->standardIcon(QStyle::SP_DriveNetIcon));
  BuildControls();
  packFolder_ = std::make_unique<PackFolderAction>(
      dialogs_, [this](const QString& status) { Label4->setText(status); });
  // Packing shows paths of any length in Label4; they must not widen the fixed-size window.
  Label4->setMinimumWidth(Label4->sizeHint().width());
  Label4->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

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
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  Button6->setFocus();

  FormCreate();
  Timer1->start();
}

TSMainFrm::~TSMainFrm() = default;

void TSMainFrm::BuildControls() {
  Panel2 = MakeStrip(this, "Panel2");
  Label1 = Make<QLabel>(this, "Label1", QStringLiteral("学生组根目录："));
  RootPathEdit = Make<QLineEdit>(this, "RootPathEdit");
  Button1 = Make<QPushButton>(this, "Button1", QStringLiteral("..."));
  Label2 = Make<QLabel>(this, "Label2", QStringLiteral("课堂资源目录："));
  PublicPathEdit = Make<QLineEdit>(this, "PublicPathEdit");
  Button2 = Make<QPushButton>(this, "Button2", QStringLiteral("..."));
  Button10 = Make<QPushButton>(this, "Button10", QStringLiteral("文件夹打包"));
  CheckBox2 = Make<QCheckBox>(this, "CheckBox2", QStringLiteral("显示学生列表"));
  CheckBox4 = Make<QCheckBox>(this, "CheckBox4", QStringLiteral("暂停课程表设置"));
  CheckBox3 = Make<QCheckBox>(this, "CheckBox3", QStringLiteral("开机自启动"));
  Label7 = new LinkLabel(
      QStringLiteral("设置课程表"), kLinkColour, [this] { Label7Click(); }, this);
  Label7->setObjectName(QStringLiteral("Label7"));
  Label8 = new LinkLabel(
      QStringLiteral("查看记录"), kLinkColour, [this] { Label8Click(); }, this);
  Label8->setObjectName(QStringLiteral("Label8"));
  Label10 = new LinkLabel(
      QStringLiteral("在线学生"), kLinkColour, [this] { Label10Click(); }, this);
  Label10->setObjectName(QStringLiteral("Label10"));
  Label4 = MakeGreenLabel(this, "Label4",
                          QStringLiteral("学生虚拟盘目录＝[学生组根目录]\\[班级名称]\\[学生姓名]"));
  Button3 = Make<QPushButton>(this, "Button3", QStringLiteral("保存"));
  Button6 = Make<QPushButton>(this, "Button6", QStringLiteral("退出"));

  Panel4 = MakeStrip(this, "Panel4");
  Label3 = Make<QLabel>(this, "Label3", QStringLiteral("选择班级："));
  ComboBox1 = Make<QComboBox>(this, "ComboBox1");
  Label9 = new LinkLabel(
      QStringLiteral("当前班级"), kLinkColour, [this] { Label9Click(); }, this);
  Label9->setObjectName(QStringLiteral("Label9"));
  Button4 = Make<QPushButton>(this, "Button4", QStringLiteral("+"));
  Button5 = Make<QPushButton>(this, "Button5", QStringLiteral("－"));
  ListView1 = Make<QTableWidget>(this, "ListView1", 0, kStudentColumns);
  Label5 = Make<QLabel>(this, "Label5", QStringLiteral("姓名："));
  Edit1 = Make<QLineEdit>(this, "Edit1");
  Button9 = Make<QPushButton>(this, "Button9", QStringLiteral("查找"));
  Button7 = Make<QPushButton>(this, "Button7", QStringLiteral("添加"));
  Button8 = Make<QPushButton>(this, "Button8", QStringLiteral("删除"));
  Label6 = new LinkLabel(
      QStringLiteral("打赏作者"), kGreen, [this] { Label6Click(); }, this);
  Label6->setObjectName(QStringLiteral("Label6"));

  RootPathEdit->setReadOnly(true);
  PublicPathEdit->setReadOnly(true);
  RootPathEdit->setMinimumWidth(320);
  ComboBox1->setEditable(false);
  ComboBox1->setMinimumWidth(180);
  for (QPushButton* small : {Button1, Button2, Button4, Button5}) small->setFixedWidth(32);

  ConfigureReportList(*ListView1,
                      {QStringLiteral("Id"), QStringLiteral("班级"), QStringLiteral("姓名"),
                       QStringLiteral("登陆ID"), QStringLiteral("密码")});
  ListView1->horizontalHeader()->setSectionsClickable(true);
  ListView1->horizontalHeader()->setStretchLastSection(true);
  ListView1->setMinimumSize(600, 280);
  ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + 8);
  ListView1->setColumnWidth(0, 60);

  auto* upper = new QGridLayout;
  upper->addWidget(Label1, 0, 0);
  upper->addWidget(RootPathEdit, 0, 1);
  upper->addWidget(Button1, 0, 2);
  upper->addWidget(Button10, 0, 3);
  upper->addWidget(Label2, 1, 0);
  upper->addWidget(PublicPathEdit, 1, 1);
  upper->addWidget(Button2, 1, 2);
  auto* options = new QHBoxLayout;
  for (QWidget* option : {static_cast<QWidget*>(CheckBox2), static_cast<QWidget*>(CheckBox4),
                          static_cast<QWidget*>(CheckBox3), static_cast<QWidget*>(Label7),
                          static_cast<QWidget*>(Label8), static_cast<QWidget*>(Label10)}) {
    options->addWidget(option);
  }
  options->addStretch();
  upper->addLayout(options, 2, 0, 1, 4);
  auto* actions = new QHBoxLayout;
  actions->addWidget(Label4);
  actions->addStretch();
  actions->addWidget(Button3);
  actions->addWidget(Button6);
  upper->addLayout(actions, 3, 0, 1, 4);

  auto* classRow = new QHBoxLayout;
  classRow->addWidget(Label3);
  classRow->addWidget(ComboBox1);
  classRow->addWidget(Label9);
  classRow->addWidget(Button4);
  classRow->addWidget(Button5);
  classRow->addStretch();
  auto* studentRow = new QHBoxLayout;
  studentRow->addWidget(Label5);
  studentRow->addWidget(Edit1);
  studentRow->addWidget(Button9);
  studentRow->addStretch();
  studentRow->addWidget(Button7);
  studentRow->addWidget(Button8);
  studentRow->addSpacing(12);
  studentRow->addWidget(Label6, 0, Qt::AlignBottom | Qt::AlignRight);
  auto* lower = new QVBoxLayout;
  lower->addLayout(classRow);
  lower->addWidget(ListView1);
  lower->addLayout(studentRow);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(MakePanel(this, Panel2, upper));
  layout->addWidget(MakePanel(this, Panel4, lower));
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
  connect(Button10, &QPushButton::clicked, this, [this] { Button10Click(); });
  // toggled, not clicked: a state set from code runs the handler too, but only on a real change.
  connect(CheckBox2, &QCheckBox::toggled, this, [this] { CheckBox2Click(); });
  connect(CheckBox3, &QCheckBox::toggled, this, [this] { CheckBox3Click(); });
  connect(CheckBox4, &QCheckBox::toggled, this, [this] { CheckBox4Click(); });
  // activated, not currentIndexChanged: only the operator's pick is a class change.
  connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
  connect(ListView1->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { ListView1ColumnClick(column); });
  connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
  connect(Button8, &QPushButton::clicked, this, [this] { Button8Click(); });
  connect(Button9, &QPushButton::clicked, this, [this] { Button9Click(); });
}

void TSMainFrm::AttachWindows(TAddUserFrm* addUser, TTimeTableFrm* timeTable, TLogFrm* log,
                              TMoneyFrm* money, TOnlineFrm* online) {
  addUserFrm_ = addUser;
  timeTableFrm_ = timeTable;
  logFrm_ = log;
  moneyFrm_ = money;
  onlineFrm_ = online;
}

void TSMainFrm::Guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    dialogs_.Error(QString::fromUtf8(e.what()));
  }
}

store::TOrvoDiskDb& TSMainFrm::Db() {
  if (store::TOrvoDiskDb* db = service_.Db()) return *db;
  throw std::runtime_error(startError_.empty() ? "the database is not open" : startError_);
}

// --- start-up and lifecycle ---

void TSMainFrm::FormCreate() {
  try {
    // Opens the database, loads the settings and only then listens, so no request is served
    // before both exist. A failure leaves neither database nor server behind.
    service_.Start();
    startError_.clear();
    const core::SettingsValues& settings = core::Settings();
    RootPathEdit->setText(Text(settings.RootPath.Get()));
    PublicPathEdit->setText(Text(settings.PublicPath.Get()));
    CheckBox2->setChecked(settings.GroupList.load() == 1);
    CheckBox3->setChecked(settings.AutoRun.load() == 1);
    std::vector<std::string> classes;
    Db().GroupListAdmin(classes);
    QStringList names;
    for (const std::string& name : classes) names.append(Text(name));
    SortClassNames(names);
    ComboBox1->clear();
    ComboBox1->addItems(names);
    ComboBox1->setCurrentIndex(-1);
  } catch (const std::exception& e) {
    if (!service_.Db()) startError_ = e.what();
    dialogs_.Error(QString::fromUtf8(e.what()));
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

void TSMainFrm::Button6Click() {
  exiting_ = true;
  close();
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

void TSMainFrm::Button10Click() {
  packFolder_->Run();
}

// --- settings panel ---

void TSMainFrm::Button1Click() {
  const std::optional<QString> folder = dialogs_.PickFolder(Label1->text());
  if (!folder) return;
  RootPathEdit->setText(*folder);
  core::Settings().RootPath.Set(Utf8(*folder));
}

void TSMainFrm::Button2Click() {
  const std::optional<QString> folder = dialogs_.PickFolder(Label2->text());
  if (!folder) return;
  PublicPathEdit->setText(*folder);
  core::Settings().PublicPath.Set(Utf8(*folder));
}

void TSMainFrm::Button3Click() {
  Guarded([this] {
    const core::SettingsValues& settings = core::Settings();
    Db().SetSetting(settings.RootPath.Get(), settings.PublicPath.Get(), settings.GroupList.load(),
                    settings.UserList.load(), settings.AutoRun.load());
  });
}

void TSMainFrm::CheckBox2Click() {
  core::Settings().GroupList.store(CheckBox2->isChecked() ? 1 : 0);
}

void TSMainFrm::CheckBox3Click() {
  const int32_t state = CheckBox3->isChecked() ? 1 : 0;
  // Equal when start-up ticks the box for a saved AutoRun 1: start-up never writes the entry.
  if (state == core::Settings().AutoRun.load()) return;
  Guarded([state] {
    core::SetAutoStart(state == 1, kAutoStartName);
    core::Settings().AutoRun.store(state);
  });
}

void TSMainFrm::CheckBox4Click() {
  Guarded([this] {
    Db().SetStopTimeTable(CheckBox4->isChecked());
    // Logins taken during the pause are judged by the timetable again from now on.
    RecheckLogins();
  });
}

// --- classes and students ---

QStringList TSMainFrm::ClassNames() const {
  QStringList names;
  for (int i = 0; i < ComboBox1->count(); ++i) names.append(ComboBox1->itemText(i));
  return names;
}

void TSMainFrm::ComboBox1Change() {
  const int index = ComboBox1->currentIndex();
  if (index < 0) return;
  RefreshListView(ComboBox1->itemText(index));
}

void TSMainFrm::Button4Click() {
  Guarded([this] {
    Db();  // without a database there is nothing to add to: say so before asking for a name
    const QString name =
        dialogs_.InputBox(QStringLiteral("添加班级"), QStringLiteral("班级名称："), QString());
    if (name.isEmpty()) return;
    const QStringList names = ClassNames();
    if (IndexIgnoringCase(names, name) >= 0) return;
    const int selected = ComboBox1->currentIndex();
    ComboBox1->insertItem(SortedClassPosition(names, name), name);
    // A list that was empty selects its first item by itself; the selection stays as it was.
    if (selected < 0) ComboBox1->setCurrentIndex(-1);
    Db().AddGroup(Utf8(name));
  });
}

void TSMainFrm::Button5Click() {
  const int index = ComboBox1->currentIndex();
  if (index < 0) return;
  Guarded([this, index] {
    const std::string group = Utf8(ComboBox1->itemText(index));
    Db().DeleteGroup(group);
    EndLoginsOf(group);
    ComboBox1->removeItem(index);
    ComboBox1->setCurrentIndex(-1);
  });
}

std::vector<StudentTexts> TSMainFrm::StudentRows() const {
  return ReportRows<kStudentColumns>(*ListView1);
}

void TSMainFrm::ShowStudentRows(const std::vector<StudentTexts>& rows) {
  ShowReportRows(*ListView1, rows);
}

int TSMainFrm::SelectedStudentRow() const {
  return SelectedReportRow(*ListView1);
}

int TSMainFrm::ListView1Compare(const StudentTexts& a, const StudentTexts& b) const {
  return CompareStudents(a, b, sortCol_, sortWay_);
}

void TSMainFrm::SortListView() {
  std::vector<StudentTexts> rows = StudentRows();
  const int selectedRow = SelectedStudentRow();
  const StudentTexts selected =
      selectedRow < 0 ? StudentTexts{} : rows[static_cast<std::size_t>(selectedRow)];
  std::stable_sort(rows.begin(), rows.end(), [this](const StudentTexts& a, const StudentTexts& b) {
    return ListView1Compare(a, b) < 0;
  });
  ShowStudentRows(rows);
  // The selected student stays selected wherever the sort put the row.
  if (selectedRow < 0) return;
  const auto at = std::find(rows.begin(), rows.end(), selected);
  if (at != rows.end()) ListView1->selectRow(static_cast<int>(at - rows.begin()));
}

void TSMainFrm::ListView1ColumnClick(int column) {
  sortCol_ = column;
  sortWay_ = NextSortWay(sortWay_);
  SortListView();
}

void TSMainFrm::RefreshListView(const QString& aGroup) {
  Guarded([this, &aGroup] {
    ShowStudentRows({});
    std::vector<StudentTexts> rows;
    for (const store::StudentRow& student : Db().Students(Utf8(aGroup))) {
      rows.push_back({QString::number(student.id), Text(student.groupName), Text(student.userName),
                      Text(student.userId), Text(student.password)});
    }
    ShowStudentRows(rows);
    sortCol_ = 2;
    sortWay_ = 1;
    SortListView();
  });
}

void TSMainFrm::Button7Click() {
  const int index = ComboBox1->currentIndex();
  if (index < 0 || !addUserFrm_) return;
  const QString group = ComboBox1->itemText(index);
  Guarded([this, &group] {
    Db();
    addUserFrm_->setWindowTitle(QStringLiteral("添加学生到班级") + group);
    addUserFrm_->Memo1->clear();
    if (dialogs_.RunModal(*addUserFrm_)) {
      std::vector<std::string> names;
      for (const QString& line : addUserFrm_->Names()) names.push_back(Utf8(line));
      Db().AddUser(names, Utf8(group));
    }
    RefreshListView(group);
  });
}

void TSMainFrm::Button8Click() {
  const int row = SelectedStudentRow();
  if (row < 0) return;
  const QString group = ListView1->item(row, 1)->text();
  const QString name = ListView1->item(row, 2)->text();
  Guarded([this, &group, &name] {
    // Every student of that name in the class goes, and with each the logins of its login id.
    std::vector<std::string> loginIds;
    for (const store::StudentRow& student : Db().Students(Utf8(group))) {
      if (student.userName == Utf8(name)) loginIds.push_back(student.userId);
    }
    Db().DeleteUser(Utf8(name), Utf8(group));
    // An empty login id would stand for the whole class.
    for (const std::string& loginId : loginIds) {
      if (!loginId.empty()) EndLoginsOf(Utf8(group), loginId);
    }
    RefreshListView(group);
  });
}

void TSMainFrm::EndLoginsOf(const std::string& group, const std::string& loginId) {
  if (net::TOrvoServer* server = service_.Server()) server->EndLoginsOf(group, loginId);
}

void TSMainFrm::RecheckLogins() {
  if (net::TOrvoServer* server = service_.Server()) server->RecheckLogins();
}

void TSMainFrm::Button9Click() {
  std::vector<QString> names;
  for (int r = 0; r < ListView1->rowCount(); ++r) {
    const QTableWidgetItem* item = ListView1->item(r, 2);
    names.push_back(item ? item->text() : QString());
  }
  const int row = FindName(names, Edit1->text());
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
    // Only the current class is wanted; the verdict of an empty login does not matter.
    const QString current = Text(Db().CheckLogin("", "", "").currGroupName);
    ComboBox1->setCurrentIndex(IndexIgnoringCase(ClassNames(), current));
    ComboBox1Change();
    dialogs_.Info(current.isEmpty() ? QStringLiteral("当前班级：无") : current);
  });
}

}  // namespace orvo::console
