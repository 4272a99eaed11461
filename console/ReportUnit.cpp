#include "console/ReportUnit.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <utility>

#include "console/ClassWorkTexts.h"
#include "console/ConsoleRules.h"
#include "console/Dialogs.h"
#include "console/ReportList.h"
#include "console/WindowSupport.h"

namespace orvo::console {
namespace {

const QColor kRed(0xC0, 0x00, 0x00);
// Where a cell keeps what it sorts by, when that is not its text.
constexpr int kSortKeyRole = Qt::UserRole;
// The columns sorted by their text rather than a key: 状态.
constexpr int kTextSortedColumn = 4;
// Results with more lines than this open in a dialog that scrolls.
constexpr int kLinesInABox = 12;

// A cell sorted by its key when both cells have one (numbers as numbers, names in the console's
// order), by its text otherwise.
class KeyedItem final : public QTableWidgetItem {
 public:
  using QTableWidgetItem::QTableWidgetItem;
  bool operator<(const QTableWidgetItem& other) const override {
    const QVariant mine = data(kSortKeyRole);
    const QVariant theirs = other.data(kSortKeyRole);
    if (mine.isValid() && theirs.isValid()) return mine.toULongLong() < theirs.toULongLong();
    return QTableWidgetItem::operator<(other);
  }
};

}  // namespace

const QString TReportForm::kBusyText = QStringLiteral("正在处理，请等它完成或按“停止”后再试");

TReportForm::TReportForm(service::OrvoService& service, Dialogs& dialogs,
                         const platform::Clock& clock, QWidget* parent)
    : QWidget(parent, Qt::Window),
      dialogs_(dialogs),
      control_(service, clock),
      runner_([this](const QString& text, int done, int count) { ShowProgress(text, done, count); },
              [this](const QString& why) {
                ShowIdle();
                dialogs_.Error(why);
              }) {
  setObjectName(QStringLiteral("ReportForm"));
  setWindowTitle(QStringLiteral("作业情况"));
  BuildControls();
  ShowIdle();
  resize(760, 560);
  CentreOnScreen(*this);
}

TReportForm::~TReportForm() {
  runner_.Stop();
}

void TReportForm::BuildControls() {
  Label1 = Make<QLabel>(this, "Label1", QStringLiteral("班级："));
  ComboBox1 = Make<QComboBox>(this, "ComboBox1");
  ComboBox1->setMinimumWidth(160);
  Label2 = Make<QLabel>(this, "Label2", QStringLiteral("开始时间："));
  Edit1 = Make<QLineEdit>(this, "Edit1");
  Edit1->setPlaceholderText(QStringLiteral("YYYY-MM-DD HH:MM"));
  Edit1->setMaximumWidth(150);
  CheckBox1 = Make<QCheckBox>(this, "CheckBox1", QStringLiteral("全部文件"));
  Button1 = Make<QPushButton>(this, "Button1", QStringLiteral("刷新"));
  ListView1 = Make<QTableWidget>(this, "ListView1", 0, kHandInColumns);
  ConfigureReportList(*ListView1,
                      {QStringLiteral("姓名"), QStringLiteral("文件数"), QStringLiteral("字节数"),
                       QStringLiteral("最后修改"), QStringLiteral("状态")});
  ListView1->horizontalHeader()->setStretchLastSection(true);
  ListView1->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
  ListView1->setSortingEnabled(true);
  ListView1->setColumnWidth(3, 160);
  ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + 8);
  Label3 = Make<QLabel>(this, "Label3");
  Label4 = Make<QLabel>(this, "Label4");
  ProgressBar1 = Make<QProgressBar>(this, "ProgressBar1");
  ProgressBar1->setMaximumWidth(200);
  Button2 = Make<QPushButton>(this, "Button2", QStringLiteral("导出CSV"));
  Button3 = Make<QPushButton>(this, "Button3", QStringLiteral("收取作业"));
  Button4 = Make<QPushButton>(this, "Button4", QStringLiteral("分发文件"));
  Button5 = Make<QPushButton>(this, "Button5", QStringLiteral("停止"));

  auto* pick = new QHBoxLayout;
  pick->addWidget(Label1);
  pick->addWidget(ComboBox1);
  pick->addSpacing(12);
  pick->addWidget(Label2);
  pick->addWidget(Edit1);
  pick->addWidget(CheckBox1);
  pick->addStretch();
  pick->addWidget(Button1);
  auto* state = new QHBoxLayout;
  state->addWidget(Label3);
  state->addStretch();
  state->addWidget(Label4);
  state->addWidget(ProgressBar1);
  auto* actions = new QHBoxLayout;
  actions->addWidget(Button2);
  actions->addStretch();
  actions->addWidget(Button3);
  actions->addWidget(Button4);
  actions->addWidget(Button5);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(pick);
  layout->addWidget(ListView1, 1);
  layout->addLayout(state);
  layout->addLayout(actions);

  // activated, not currentIndexChanged: only the operator's pick is a class change.
  connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
  connect(CheckBox1, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
  connect(Edit1, &QLineEdit::returnPressed, this, [this] { Button1Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
}

void TReportForm::Guarded(const std::function<void()>& body) {
  console::Guarded(dialogs_, body);
}

bool TReportForm::Idle() {
  if (!runner_.Running()) return true;
  dialogs_.Info(kBusyText);
  return false;
}

QString TReportForm::ClassName() const {
  return ComboBox1->currentText();
}

std::optional<TReportForm::ChosenClass> TReportForm::PickedClass() {
  const QString className = ClassName();
  if (className.isEmpty()) {
    dialogs_.Info(QStringLiteral("请先选择班级"));
    return std::nullopt;
  }
  return ChosenClass{className, control_.Roster(className)};
}

std::optional<uint64_t> TReportForm::Since() const {
  if (CheckBox1->isChecked()) return std::nullopt;
  return control_.StartTime(Edit1->text());
}

void TReportForm::ShowReport() {
  Guarded([this] {
    const QString picked = ClassName();
    const QStringList classes = control_.LoadClasses();
    ComboBox1->clear();
    ComboBox1->addItems(classes);
    int index = classes.indexOf(picked);
    if (index < 0) index = control_.LessonClass();
    ComboBox1->setCurrentIndex(index);
    if (index >= 0) Edit1->setText(control_.DefaultStart(ClassName()));
  });
  show();
  raise();
  activateWindow();
  if (!ClassName().isEmpty() && !runner_.Running()) Button1Click();
}

void TReportForm::ComboBox1Change() {
  Guarded([this] {
    if (!Idle()) return;
    Edit1->setText(control_.DefaultStart(ClassName()));
    Button1Click();
  });
}

void TReportForm::CheckBox1Click() {
  Edit1->setEnabled(!CheckBox1->isChecked());
  if (!ClassName().isEmpty()) Button1Click();
}

void TReportForm::Run(const QString& doing, ClassWorkRunner::Work work) {
  ShowWorking(true);
  ProgressBar1->setRange(0, 0);  // busy until the first student is reached
  ProgressBar1->show();
  Label4->setText(doing);
  runner_.Start(doing, [this, work = std::move(work)](classwork::WorkProgress& progress) {
    std::function<void()> end = work(progress);
    return [this, end = std::move(end)] {
      ShowIdle();
      if (end) end();
    };
  });
}

void TReportForm::ShowWorking(bool working) {
  for (QWidget* control : {static_cast<QWidget*>(ComboBox1), static_cast<QWidget*>(CheckBox1),
                           static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                           static_cast<QWidget*>(Button3), static_cast<QWidget*>(Button4)}) {
    control->setEnabled(!working);
  }
  Edit1->setEnabled(!working && !CheckBox1->isChecked());
  Button5->setEnabled(working);
}

void TReportForm::ShowProgress(const QString& text, int done, int count) {
  Label4->setText(text);
  ProgressBar1->setRange(0, count);
  ProgressBar1->setValue(done);
}

void TReportForm::ShowIdle() {
  ShowWorking(false);
  ProgressBar1->hide();
  Label4->clear();
}

void TReportForm::Button1Click() {
  Guarded([this] {
    if (!Idle()) return;
    std::optional<ChosenClass> chosen = PickedClass();
    if (!chosen) return;
    const QString& className = chosen->name;
    std::vector<classwork::StudentFolder>& students = chosen->students;
    const std::optional<uint64_t> since = Since();
    Run(QStringLiteral("正在统计："),
        [this, report = control_.Work().report, name = Utf8(className),
         students = std::move(students), since](classwork::WorkProgress& progress) {
          classwork::ClassReport read = report(name, students, since, progress);
          return std::function<void()>([this, read = std::move(read)] { ShowReportRows(read); });
        });
  });
}

void TReportForm::ShowReportRows(classwork::ClassReport report) {
  const std::vector<HandInRow> rows = HandInRows(report);
  ListView1->setSortingEnabled(false);
  ListView1->clearSelection();
  ListView1->setRowCount(0);
  ListView1->setRowCount(static_cast<int>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (int c = 0; c < kHandInColumns; ++c) {
      auto* item = new KeyedItem(rows[r].texts[static_cast<std::size_t>(c)]);
      if (c != kTextSortedColumn) {
        item->setData(kSortKeyRole,
                      QVariant::fromValue<qulonglong>(rows[r].keys[static_cast<std::size_t>(c)]));
      }
      if (c == 1 || c == 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (!rows[r].handedIn) {
        item->setForeground(kRed);
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
      }
      ListView1->setItem(static_cast<int>(r), c, item);
    }
  }
  ListView1->setSortingEnabled(true);  // sorts again by the column chosen last
  Label3->setText(SummaryText(report));
  report_ = std::move(report);
}

void TReportForm::Button2Click() {
  Guarded([this] {
    if (!Idle()) return;
    if (!report_) {
      dialogs_.Info(QStringLiteral("还没有作业情况，请先选择班级并刷新"));
      return;
    }
    const std::optional<QString> path = dialogs_.PickSaveFile(
        QStringLiteral("导出CSV"), control_.DefaultCsvPath(Text(report_->className)),
        QStringLiteral("CSV 文件 (*.csv)"));
    if (!path) return;
    ReportControl::SaveFile(*path, classwork::ReportCsv(*report_));
    Label4->setText(QStringLiteral("已导出：") + *path);
  });
}

void TReportForm::Button3Click() {
  Guarded([this] {
    if (!Idle()) return;
    std::optional<ChosenClass> chosen = PickedClass();
    if (!chosen) return;
    const QString& className = chosen->name;
    std::vector<classwork::StudentFolder>& students = chosen->students;
    const std::optional<uint64_t> since = Since();
    const std::optional<QString> path = dialogs_.PickSaveFile(
        QStringLiteral("保存收取的作业"), control_.DefaultArchivePath(className),
        QStringLiteral("压缩包 (*.zip)"));
    if (!path) return;
    classwork::CollectRequest request{Utf8(className), std::move(students), since, Utf8(*path)};
    Run(QStringLiteral("正在收取："), [this, work = control_.Work(), request = std::move(request)](
                                          classwork::WorkProgress& progress) {
      classwork::CollectResult result = work.collect(request, progress);
      return std::function<void()>([this, result = std::move(result)] {
        const QString text = CollectResultText(result);
        const bool failed = result.failure && result.failure->fault != classwork::Fault::kCancelled;
        if (failed) {
          dialogs_.Error(text);
        } else {
          ShowLongText(QStringLiteral("收取作业"), text);
        }
      });
    });
  });
}

void TReportForm::Button4Click() {
  Guarded([this] {
    if (!Idle()) return;
    std::optional<ChosenClass> chosen = PickedClass();
    if (!chosen) return;
    const QString& className = chosen->name;
    std::vector<classwork::StudentFolder>& students = chosen->students;
    const int kind = dialogs_.Choose(QStringLiteral("分发文件"),
                                     QStringLiteral("要分发一个文件，还是整个文件夹？"),
                                     {QStringLiteral("文件"), QStringLiteral("文件夹")});
    if (kind < 0) return;
    const std::optional<QString> source =
        kind == 0
            ? dialogs_.PickOpenFile(QStringLiteral("选择要分发的文件"), control_.PublicFolder(),
                                    QString())
            : dialogs_.PickFolder(QStringLiteral("选择要分发的文件夹"), control_.PublicFolder());
    if (!source) return;
    const QString into =
        dialogs_
            .InputBox(QStringLiteral("分发文件"),
                      QStringLiteral("放入学生文件夹中的子文件夹（留空则直接放入学生文件夹）："),
                      QString())
            .trimmed();
    const QString item = QFileInfo(*source).fileName();
    if (!dialogs_.Confirm(QStringLiteral("分发文件"),
                          HandOutConfirmText(item, className, students.size(), into))) {
      return;
    }
    classwork::HandOutRequest request{std::move(students), Utf8(*source), Utf8(into)};
    Run(QStringLiteral("正在分发："),
        [this, handOut = control_.Work().handOut,
         request = std::move(request)](classwork::WorkProgress& progress) {
          classwork::HandOutResult result = handOut(request, progress);
          return std::function<void()>([this, result = std::move(result)] {
            const QString text = HandOutResultText(result);
            if (result.failure && result.failure->fault != classwork::Fault::kCancelled) {
              dialogs_.Error(text);
            } else {
              ShowLongText(QStringLiteral("分发结果"), text);
            }
          });
        });
  });
}

void TReportForm::Button5Click() {
  if (!runner_.Running()) return;
  runner_.Cancel();
  Label4->setText(QStringLiteral("正在停止…"));
}

void TReportForm::ShowLongText(const QString& title, const QString& text) {
  if (text.count('\n') < kLinesInABox) {
    dialogs_.Info(text);
    return;
  }
  QDialog dialog(this);
  dialog.setWindowTitle(title);
  auto* lines = new QPlainTextEdit(text, &dialog);
  lines->setObjectName(QStringLiteral("ResultText"));
  lines->setReadOnly(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(lines);
  layout->addWidget(buttons);
  dialog.resize(520, 420);
  dialogs_.RunModal(dialog);
}

void TReportForm::closeEvent(QCloseEvent* event) {
  // Nobody would see the end of the work; a collection stopped leaves no archive behind.
  runner_.Stop();
  ShowIdle();
  QWidget::closeEvent(event);
}

}  // namespace orvo::console
