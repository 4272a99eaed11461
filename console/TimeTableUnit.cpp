#include "console/TimeTableUnit.h"

#include "console/ReportList.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <optional>

#include "console/Dialogs.h"
#include "console/WindowSupport.h"

namespace orvo::console {
namespace {

const QColor kRed(0xC0, 0x00, 0x00);
constexpr int kPanelHeight = 128;

}  // namespace

TTimeTableFrm::TTimeTableFrm(service::OrvoService& service, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      control_(service),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("TimeTableFrm"));
  setWindowTitle(QStringLiteral("课程表设置"));
  BuildControls();
  setFixedSize(639, 514);
  CentreOnScreen(*this);
  FormCreate();
}

void TTimeTableFrm::BuildControls() {
  ListView1 = Make<QTableWidget>(this, "ListView1", 0, kTimeTableColumns);
  ConfigureReportList(*ListView1,
                      {QStringLiteral("ID"), QStringLiteral("星期"), QStringLiteral("开始时间"),
                       QStringLiteral("结束时间"), QStringLiteral("班级")});
  ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + 8);
  const int widths[kTimeTableColumns] = {50, 60, 100, 100, 100};
  for (int c = 0; c < kTimeTableColumns; ++c) ListView1->setColumnWidth(c, widths[c]);
  // A lesson may name several classes: the class column takes the rest of the width.
  ListView1->horizontalHeader()->setStretchLastSection(true);

  Panel1 = Make<QFrame>(this, "Panel1");
  Panel1->setFixedHeight(kPanelHeight);
  ComboBox1 = Make<QComboBox>(Panel1, "ComboBox1");
  ComboBox1->setEditable(false);
  ComboBox1->addItems(TimeTableControl::kWeekdays);
  ComboBox1->setCurrentIndex(0);
  Label3 = Make<QLabel>(Panel1, "Label3", QStringLiteral("班级"));
  ComboBox3 = Make<QComboBox>(Panel1, "ComboBox3");
  ComboBox3->setEditable(true);
  // Picking a class fills the text; typing never adds to the list.
  ComboBox3->setInsertPolicy(QComboBox::NoInsert);
  ComboBox3->lineEdit()->setPlaceholderText(QStringLiteral("多个班级用逗号分开"));
  Label1 = Make<QLabel>(Panel1, "Label1", QStringLiteral("开始时间"));
  Edit1 = Make<QLineEdit>(Panel1, "Edit1");
  Label2 = Make<QLabel>(Panel1, "Label2", QStringLiteral("结束时间"));
  Edit2 = Make<QLineEdit>(Panel1, "Edit2");
  Label7 = MakeColouredLabel(Panel1, "Label7", QStringLiteral("时间格式    16:05"), kGreen);
  DbStateLabel = MakeColouredLabel(Panel1, "DbStateLabel", QString(), kRed);
  DbStateLabel->hide();
  Label6 = Make<QLabel>(Panel1, "Label6", QStringLiteral("临时调整课表为"));
  ComboBox2 = Make<QComboBox>(Panel1, "ComboBox2");
  ComboBox2->setEditable(false);
  ComboBox2->addItem(TimeTableControl::kNoAdjustment);
  ComboBox2->addItems(TimeTableControl::kWeekdays);
  ComboBox2->setCurrentIndex(0);
  Button2 = Make<QPushButton>(Panel1, "Button2", QStringLiteral("添加项目"));
  Button3 = Make<QPushButton>(Panel1, "Button3", QStringLiteral("删除选中项目"));
  Button4 = Make<QPushButton>(Panel1, "Button4", QStringLiteral("删除全部"));
  Button1 = Make<QPushButton>(Panel1, "Button1", QStringLiteral("Button1"));
  Button1->hide();

  auto* grid = new QGridLayout(Panel1);
  grid->addWidget(ComboBox1, 0, 0, 1, 2);
  grid->addWidget(Label3, 0, 2);
  grid->addWidget(ComboBox3, 0, 3);
  grid->addWidget(Label1, 0, 4);
  grid->addWidget(Edit1, 0, 5);
  grid->addWidget(Label7, 1, 0, 1, 2);
  grid->addWidget(DbStateLabel, 1, 2, 1, 2);
  grid->addWidget(Label2, 1, 4);
  grid->addWidget(Edit2, 1, 5);
  grid->addWidget(Label6, 2, 0);
  grid->addWidget(ComboBox2, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button2);
  buttons->addWidget(Button3);
  buttons->addWidget(Button4);
  grid->addLayout(buttons, 2, 2, 1, 4);
  // The class text is the longest entry; the times are five characters.
  grid->setColumnStretch(3, 2);
  grid->setColumnStretch(5, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(ListView1, 1);
  layout->addWidget(Panel1);

  connect(ListView1, &QTableWidget::cellDoubleClicked, this, [this] { ListView1DblClick(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  // activated, not currentIndexChanged: only the operator's pick sets the override.
  connect(ComboBox2, &QComboBox::activated, this, [this] { ComboBox2Change(); });
}

void TTimeTableFrm::Guarded(const std::function<void()>& body) {
  console::Guarded(dialogs_, body);
}

void TTimeTableFrm::FormCreate() {
  if (!control_.DatabaseOpen()) {
    // Start-up failed before the database opened: there is nothing to list or change.
    for (QWidget* control : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                             static_cast<QWidget*>(Button3), static_cast<QWidget*>(Button4),
                             static_cast<QWidget*>(ComboBox2), static_cast<QWidget*>(ComboBox3)}) {
      control->setEnabled(false);
    }
    DbStateLabel->setText(QStringLiteral("数据库未打开，课程表不能读取或修改"));
    DbStateLabel->show();
    return;
  }
  RefreshListView();
  RefreshClasses();
  Guarded([this] {
    const int week = control_.WeekOverride();
    ComboBox2->setCurrentIndex(week >= 1 && week <= TimeTableControl::kWeekdays.size() ? week : 0);
  });
}

void TTimeTableFrm::RefreshClasses() {
  if (!control_.DatabaseOpen()) return;
  Guarded([this] {
    const QString typed = ComboBox3->currentText();
    ComboBox3->clear();
    ComboBox3->addItems(control_.Classes());
    ComboBox3->setEditText(typed);
  });
}

void TTimeTableFrm::showEvent(QShowEvent* event) {
  RefreshClasses();
  QWidget::showEvent(event);
}

void TTimeTableFrm::ShowRows(const std::vector<TimeTableTexts>& rows) {
  ShowReportRows(*ListView1, rows);
}

int TTimeTableFrm::SelectedRow() const {
  return SelectedReportRow(*ListView1);
}

void TTimeTableFrm::RefreshListView() {
  ShowRows({});
  Guarded([this] {
    control_.Load();
    ShowRows(control_.Rows());
  });
}

int TTimeTableFrm::ListView1Compare(const TimeTableTexts& a, const TimeTableTexts& b) const {
  return TimeTableControl::Compare(a, b);
}

void TTimeTableFrm::ListView1DblClick() {
  const int r = SelectedRow();
  if (r < 0) return;
  const auto cell = [this, r](int c) {
    const QTableWidgetItem* item = ListView1->item(r, c);
    return item ? item->text() : QString();
  };
  ComboBox1->setCurrentIndex(
      ComboBox1->findText(cell(1), Qt::MatchExactly | Qt::MatchCaseSensitive));
  Edit1->setText(cell(2));
  Edit2->setText(cell(3));
  ComboBox3->setEditText(cell(4));
}

void TTimeTableFrm::Button2Click() {
  Guarded([this] {
    const QString begin = Edit1->text();
    const QString end = Edit2->text();
    const QString group = ComboBox3->currentText();
    const int week = ComboBox1->currentIndex() + 1;
    if (const std::optional<QString> refusal = TimeTableControl::Refusal(week, begin, end, group)) {
      dialogs_.Info(*refusal);
      return;
    }
    if (const std::optional<QString> warning = control_.UnknownClassWarning(group)) {
      if (!dialogs_.Confirm(QStringLiteral("班级不存在"), *warning)) return;
    }
    if (const std::optional<QString> warning = control_.OverlapWarning(week, begin, end, group)) {
      if (!dialogs_.Confirm(QStringLiteral("时间重叠"), *warning)) return;
    }
    control_.Add(week, begin, end, group);
    Edit1->clear();
    Edit2->clear();
    ComboBox3->setEditText(QString());
    RefreshListView();
  });
}

void TTimeTableFrm::Button3Click() {
  const int r = SelectedRow();
  if (r < 0) return;
  const auto cell = [this, r](int c) {
    const QTableWidgetItem* item = ListView1->item(r, c);
    return item ? item->text() : QString();
  };
  const QString lesson =
      QStringList{cell(1), cell(2) + QStringLiteral("-") + cell(3), cell(4)}.join(QLatin1Char(' '));
  if (!dialogs_.Confirm(
          QStringLiteral("确认删除"),
          QStringLiteral("确定要删除课程“") + lesson.trimmed() + QStringLiteral("”吗？"))) {
    return;
  }
  const QString id = cell(0);
  Guarded([this, &id] {
    control_.Delete(id);
    RefreshListView();
  });
}

void TTimeTableFrm::Button4Click() {
  if (!dialogs_.Confirm(QStringLiteral("确认删除"),
                        QStringLiteral("确定要删除全部时间表项目吗？"))) {
    return;
  }
  Guarded([this] {
    control_.DeleteAll();
    RefreshListView();
  });
}

void TTimeTableFrm::ComboBox2Change() {
  const int index = ComboBox2->currentIndex();
  if (index < 0) return;
  // Item 0 is "不调整"; the weekdays follow it, so an item's index is its Week.
  Guarded([this, index] { control_.SetWeekOverride(index == 0 ? -1 : index); });
}

void TTimeTableFrm::Button1Click() {
  Guarded([this] { control_.CreateTable(); });
}

}  // namespace orvo::console
