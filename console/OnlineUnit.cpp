#include "console/OnlineUnit.h"

#include "console/ReportList.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "console/Dialogs.h"
#include "console/WindowSupport.h"

namespace orvo::console {
namespace {

// The address column (the first) of the selected rows.
QStringList SelectedAddresses(const QTableWidget& list) {
  QStringList addresses;
  for (const QModelIndex& row : list.selectionModel()->selectedRows()) {
    if (const QTableWidgetItem* item = list.item(row.row(), 0)) addresses.append(item->text());
  }
  return addresses;
}

// Shows `rows` and selects again the rows whose address was selected before.
template <std::size_t N>
void ShowKeepingSelection(QTableWidget& list, const std::vector<std::array<QString, N>>& rows) {
  const QStringList selected = SelectedAddresses(list);
  const QSet<QString> keep(selected.begin(), selected.end());
  ShowReportRows(list, rows);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (!keep.contains(rows[r][0])) continue;
    list.selectionModel()->select(list.model()->index(static_cast<int>(r), 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
}

void ConfigureList(QTableWidget& list, const QStringList& captions) {
  ConfigureReportList(list, captions);
  // Several students may leave at once.
  list.setSelectionMode(QAbstractItemView::ExtendedSelection);
  list.horizontalHeader()->setStretchLastSection(true);
}

}  // namespace

TOnlineFrm::TOnlineFrm(service::OrvoService& service, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), control_(service), dialogs_(dialogs) {
  setObjectName(QStringLiteral("OnlineFrm"));
  setWindowTitle(QStringLiteral("在线学生"));
  BuildControls();
  resize(780, 600);
  CentreOnScreen(*this);
}

void TOnlineFrm::BuildControls() {
  Label1 = Make<QLabel>(this, "Label1", QStringLiteral("在线学生："));
  ListView1 = Make<QTableWidget>(this, "ListView1", 0, kOnlineColumns);
  ConfigureList(*ListView1,
                {QStringLiteral("地址"), QStringLiteral("班级"), QStringLiteral("姓名"),
                 QStringLiteral("登录时间"), QStringLiteral("最后命令"), QStringLiteral("命令数")});
  // The login time is read in full; the last command takes what is left before the count.
  ListView1->horizontalHeader()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
  ListView1->setColumnWidth(4, 200);
  Label2 = Make<QLabel>(this, "Label2", QStringLiteral("暂停登录的地址："));
  ListView2 = Make<QTableWidget>(this, "ListView2", 0, kBlockedColumns);
  ConfigureList(*ListView2, {QStringLiteral("地址"), QStringLiteral("剩余时间")});
  ListView2->setMaximumHeight(110);
  Label3 = Make<QLabel>(this, "Label3", QStringLiteral("受限的地址："));
  ListView3 = Make<QTableWidget>(this, "ListView3", 0, kLimitedColumns);
  ConfigureList(*ListView3, {QStringLiteral("地址"), QStringLiteral("拒绝的连接"),
                             QStringLiteral("超时的连接")});
  ListView3->setMaximumHeight(110);
  StateLabel = Make<QLabel>(this, "StateLabel", QStringLiteral("服务未运行，没有在线学生"));
  StateLabel->hide();
  Button1 = Make<QPushButton>(this, "Button1", QStringLiteral("下线"));
  Button2 = Make<QPushButton>(this, "Button2", QStringLiteral("全部下线"));
  Button3 = Make<QPushButton>(this, "Button3", QStringLiteral("解除"));
  Button4 = Make<QPushButton>(this, "Button4", QStringLiteral("刷新"));

  auto* strip = new QHBoxLayout;
  strip->addWidget(StateLabel);
  strip->addStretch();
  strip->addWidget(Button1);
  strip->addWidget(Button2);
  strip->addWidget(Button3);
  strip->addWidget(Button4);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(ListView1, 1);
  layout->addWidget(Label2);
  layout->addWidget(ListView2);
  layout->addWidget(Label3);
  layout->addWidget(ListView3);
  layout->addLayout(strip);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kRefreshMs);
  connect(Timer1, &QTimer::timeout, this, [this] { RefreshLists(); });
  RunWhileShown(*this, *Timer1);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
}

void TOnlineFrm::ShowOnline() {
  RefreshLists();
  show();
  raise();
  activateWindow();
}

void TOnlineFrm::RefreshLists() {
  const bool serving = control_.Serving();
  const std::vector<OnlineTexts> logins = control_.Logins();
  const std::vector<BlockedTexts> blocked = control_.Blocked();
  const std::vector<LimitedTexts> limited = control_.Limited();
  ShowKeepingSelection(*ListView1, logins);
  ShowKeepingSelection(*ListView2, blocked);
  ShowKeepingSelection(*ListView3, limited);
  Label1->setText(QStringLiteral("在线学生：%1").arg(logins.size()));
  Label2->setText(QStringLiteral("暂停登录的地址：%1").arg(blocked.size()));
  Label3->setText(QStringLiteral("受限的地址：%1").arg(limited.size()));
  StateLabel->setVisible(!serving);
  for (QPushButton* button : {Button1, Button2, Button3}) button->setEnabled(serving);
}

void TOnlineFrm::Button1Click() {
  const QStringList addresses = SelectedAddresses(*ListView1);
  if (addresses.isEmpty()) return;
  control_.End(addresses);
  RefreshLists();
}

void TOnlineFrm::Button2Click() {
  if (ListView1->rowCount() == 0) return;
  if (!dialogs_.Confirm(QStringLiteral("全部下线"), QStringLiteral("确定要让全部学生下线吗？"))) {
    return;
  }
  control_.EndAll();
  RefreshLists();
}

void TOnlineFrm::Button3Click() {
  const QStringList addresses = SelectedAddresses(*ListView2);
  if (addresses.isEmpty()) return;
  control_.Unblock(addresses);
  RefreshLists();
}

void TOnlineFrm::Button4Click() {
  RefreshLists();
}

}  // namespace orvo::console
