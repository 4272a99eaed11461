#include "console/LogUnit.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "console/WindowSupport.h"
#include "core/SysStringS.h"

namespace orvo::console {
namespace {

// How many items at the list's front the log has dropped since `shown` was taken: the smallest
// count after which every remaining item starts `lines`. -1 when the list is not such a front
// part of the log (after a clearing, say).
int DroppedFront(const QListWidget& shown, const QStringList& lines) {
  const int count = shown.count();
  for (int dropped = 0; dropped <= count; ++dropped) {
    const int kept = count - dropped;
    if (kept > lines.size()) continue;
    bool same = true;
    for (int i = 0; same && i < kept; ++i) same = shown.item(dropped + i)->text() == lines.at(i);
    if (same) return dropped;
  }
  return -1;
}

}  // namespace

TLogFrm::TLogFrm(core::TSysStringS& sysLog, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), sysLog_(sysLog), dialogs_(dialogs) {
  setObjectName(QStringLiteral("LogFrm"));
  setWindowTitle(QStringLiteral("查看日志"));

  LogList = Make<QListWidget>(this, "LogList");
  LogList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  LogList->setUniformItemSizes(true);  // up to the log's cap of lines, laid out quickly
  LogList->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);  // FollowLog counts in items
  LogDetail = Make<QPlainTextEdit>(this, "LogDetail");
  LogDetail->setReadOnly(true);
  LogDetail->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  LogDetail->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  LogDetail->setFixedHeight(LogDetail->fontMetrics().lineSpacing() * 4 + 12);
  Button1 = Make<QPushButton>(this, "Button1", QStringLiteral("清除日志"));
  Button2 = Make<QPushButton>(this, "Button2", QStringLiteral("刷新"));
  FollowTimer = new QTimer(this);
  FollowTimer->setObjectName(QStringLiteral("FollowTimer"));
  FollowTimer->setInterval(kFollowMs);

  auto* strip = new QHBoxLayout;
  strip->addStretch();
  strip->addWidget(Button1);
  strip->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LogList, 1);
  layout->addWidget(LogDetail);
  layout->addLayout(strip);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(FollowTimer, &QTimer::timeout, this, [this] { FollowLog(); });
  RunWhileShown(*this, *FollowTimer);
  connect(LogList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* current) {
    LogDetail->setPlainText(current ? current->text() : QString());
  });

  resize(480, 400);
  CentreOnScreen(*this);
}

void TLogFrm::ShowSysLog() {
  RefreshLog();
  show();
  raise();
  activateWindow();
}

QStringList TLogFrm::LogLines() const {
  // One call to Text is one consistent snapshot.
  QStringList lines = Text(sysLog_.Text()).split(QStringLiteral("\r\n"));
  // Every line ends with CR LF, so the last piece is the empty text after the final one.
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

void TLogFrm::RefreshLog() {
  LogList->clear();
  LogList->addItems(LogLines());
  // The newest line is the one shown in full below the list.
  LogList->setCurrentRow(LogList->count() - 1);
  LogList->scrollToBottom();
}

void TLogFrm::FollowLog() {
  const QStringList lines = LogLines();
  QScrollBar* bar = LogList->verticalScrollBar();
  const bool atNewest = bar->value() == bar->maximum();
  const int dropped = DroppedFront(*LogList, lines);
  if (dropped < 0) {
    RefreshLog();
    return;
  }
  const int kept = LogList->count() - dropped;
  if (dropped == 0 && kept == lines.size()) return;
  const int position = bar->value();
  // A line the operator picked (or scrolled up) to read stays; otherwise the newest line is the
  // current one, shown in full below.
  const bool onNewest = atNewest && LogList->currentRow() == LogList->count() - 1;
  for (int i = 0; i < dropped; ++i) delete LogList->takeItem(0);
  LogList->addItems(lines.mid(kept));
  if (onNewest) LogList->setCurrentRow(LogList->count() - 1);
  if (atNewest) {
    LogList->scrollToBottom();
  } else {
    // The lines read stay in view: they moved up by the dropped ones (the list scrolls by item).
    bar->setValue(position - dropped);
  }
}

void TLogFrm::Button1Click() {
  sysLog_.Clear();
  LogList->clear();
}

void TLogFrm::Button2Click() {
  RefreshLog();
}

}  // namespace orvo::console
