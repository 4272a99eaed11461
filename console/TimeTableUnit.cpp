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
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

#include "console/ConsoleRules.h"
#include "console/Dialogs.h"
#include "net/OrvoServer.h"
#include "service/OrvoService.h"
#include "store/OrvoDiskDbUnit.h"
#include "store/TimeText.h"
#include "store/TimetableOrder.h"

namespace orvo::console {
namespace {

const QColor kGreen(0x00, 0x80, 0x00);
const QColor kRed(0xC0, 0x00, 0x00);
constexpr int kPanelHeight = 128;

std::string Utf8(const QString& text) {
  return text.toStdString();
}

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

template <typename Widget, typename... Args>
Widget* Make(QWidget* parent, const char* name, Args&&... args) {
  auto* widget = new Widget(std::forward<Args>(args)..., parent);
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QLabel* MakeColouredLabel(QWidget* parent, const char* name, const QString& text,
                          const QColor& colour) {
  auto* label = Make<QLabel>(parent, name, text);
  QPalette colours = label->palette();
  colours.setColor(QPalette::WindowText, colour);
  label->setPalette(colours);
  return label;
}

}  // namespace

const QStringList TTimeTableFrm::kWeekdays = {QStringLiteral("星期一"), QStringLiteral("星期二"),
                                              QStringLiteral("星期三"), QStringLiteral("星期四"),
                                              QStringLiteral("星期五")};

TTimeTableFrm::TTimeTableFrm(service::OrvoService& service, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      service_(service),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("TimeTableFrm"));
  setWindowTitle(QStringLiteral("课程表设置"));
  BuildControls();
  setFixedSize(639, 514);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
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

  Panel1 = Make<QFrame>(this, "Panel1");
  Panel1->setFixedHeight(kPanelHeight);
  ComboBox1 = Make<QComboBox>(Panel1, "ComboBox1");
  ComboBox1->setEditable(false);
  ComboBox1->addItems(kWeekdays);
  ComboBox1->setCurrentIndex(0);
  Label3 = Make<QLabel>(Panel1, "Label3", QStringLiteral("班级"));
  Edit3 = Make<QLineEdit>(Panel1, "Edit3");
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
  ComboBox2->addItems(kWeekdays);
  ComboBox2->setCurrentIndex(-1);
  Button2 = Make<QPushButton>(Panel1, "Button2", QStringLiteral("添加项目"));
  Button3 = Make<QPushButton>(Panel1, "Button3", QStringLiteral("删除选中项目"));
  Button4 = Make<QPushButton>(Panel1, "Button4", QStringLiteral("删除全部"));
  Button1 = Make<QPushButton>(Panel1, "Button1", QStringLiteral("Button1"));
  Button1->hide();

  auto* grid = new QGridLayout(Panel1);
  grid->addWidget(ComboBox1, 0, 0, 1, 2);
  grid->addWidget(Label3, 0, 2);
  grid->addWidget(Edit3, 0, 3);
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

store::TOrvoDiskDb& TTimeTableFrm::Db() {
  if (store::TOrvoDiskDb* db = service_.Db()) return *db;
  throw std::runtime_error("the database is not open");
}

void TTimeTableFrm::Guarded(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    dialogs_.Error(QString::fromUtf8(e.what()));
  }
}

void TTimeTableFrm::TimetableChanged() {
  if (net::TOrvoServer* server = service_.Server()) server->RecheckLogins();
}

void TTimeTableFrm::FormCreate() {
  if (!service_.Db()) {
    // Start-up failed before the database opened: there is nothing to list or change.
    for (QWidget* control : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                             static_cast<QWidget*>(Button3), static_cast<QWidget*>(Button4),
                             static_cast<QWidget*>(ComboBox2)}) {
      control->setEnabled(false);
    }
    DbStateLabel->setText(QStringLiteral("数据库未打开，课程表不能读取或修改"));
    DbStateLabel->show();
    return;
  }
  RefreshListView();
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
    // TimeTableRows holds the database lock for its whole walk over the cursor.
    const std::vector<store::TimeTableRow> stored = Db().TimeTableRows();
    std::vector<TimeTableTexts> rows;
    rows.reserve(stored.size());
    for (const store::TimeTableRow& row : stored) {
      const bool listed = row.week >= 1 && row.week <= ComboBox1->count();
      rows.push_back({QString::number(row.id),
                      listed ? ComboBox1->itemText(row.week - 1) : QString(), Text(row.beginTime),
                      Text(row.endTime), Text(row.groupName)});
    }
    // Stable, so that rows comparing equal keep their Id order.
    std::stable_sort(rows.begin(), rows.end(),
                     [this](const TimeTableTexts& a, const TimeTableTexts& b) {
                       return ListView1Compare(a, b) < 0;
                     });
    ShowRows(rows);
  });
}

int TTimeTableFrm::ListView1Compare(const TimeTableTexts& a, const TimeTableTexts& b) const {
  QStringList weekdays;
  for (int i = 0; i < ComboBox1->count(); ++i) weekdays.append(ComboBox1->itemText(i));
  // Back to the stored shape, so the window orders rows exactly as the store's display rule does
  // (a cell naming no weekday is Week 0, which sorts before Monday).
  const auto row = [&weekdays](const TimeTableTexts& texts) {
    store::TimeTableRow stored;
    stored.week = IndexIgnoringCase(weekdays, texts[1]) + 1;
    stored.beginTime = Utf8(texts[2]);
    return stored;
  };
  return store::CompareForDisplay(row(a), row(b));
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
  Edit3->setText(cell(4));
}

void TTimeTableFrm::Button2Click() {
  if (Edit3->text().isEmpty()) {
    dialogs_.Info(QStringLiteral("信息不能为空"));
    return;
  }
  int32_t ignored = 0;
  if (!store::TryParseTimeText(Utf8(Edit1->text()), ignored) ||
      !store::TryParseTimeText(Utf8(Edit2->text()), ignored)) {
    dialogs_.Info(QStringLiteral("时间格式错误"));
    return;
  }
  Guarded([this] {
    Db().AddTimeTable(std::to_string(ComboBox1->currentIndex() + 1), Utf8(Edit1->text()),
                      Utf8(Edit2->text()), Utf8(Edit3->text()));
    TimetableChanged();
    Edit1->clear();
    Edit2->clear();
    Edit3->clear();
    RefreshListView();
  });
}

void TTimeTableFrm::Button3Click() {
  const int r = SelectedRow();
  if (r < 0) return;
  const QString id = ListView1->item(r, 0)->text();
  Guarded([this, &id] {
    Db().DeleteTimeTable(Utf8(id));
    TimetableChanged();
    RefreshListView();
  });
}

void TTimeTableFrm::Button4Click() {
  if (!dialogs_.Confirm(QStringLiteral("确认删除"),
                        QStringLiteral("确定要删除全部时间表项目吗？"))) {
    return;
  }
  Guarded([this] {
    Db().DeleteTimeTableAll();
    TimetableChanged();
    RefreshListView();
  });
}

void TTimeTableFrm::ComboBox2Change() {
  const int index = ComboBox2->currentIndex();
  if (index < 0) return;
  Guarded([this, index] {
    Db().SetCurrWeekTemp(index + 1);
    TimetableChanged();
  });
}

void TTimeTableFrm::Button1Click() {
  Guarded([this] { Db().CreateTimeTableTable(); });
}

}  // namespace orvo::console
