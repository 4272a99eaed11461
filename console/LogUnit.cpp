#include "console/LogUnit.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "core/SysStringS.h"

namespace orvo::console {

TLogFrm::TLogFrm(core::TSysStringS& sysLog, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), sysLog_(sysLog), dialogs_(dialogs) {
  setObjectName(QStringLiteral("LogFrm"));
  setWindowTitle(QStringLiteral("查看日志"));

  LogList = new QListWidget(this);
  LogList->setObjectName(QStringLiteral("LogList"));
  LogList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  LogList->setUniformItemSizes(true);  // up to the log's cap of lines, laid out quickly
  Button1 = new QPushButton(QStringLiteral("清除日志"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button2 = new QPushButton(QStringLiteral("刷新"), this);
  Button2->setObjectName(QStringLiteral("Button2"));

  auto* strip = new QHBoxLayout;
  strip->addStretch();
  strip->addWidget(Button1);
  strip->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LogList, 1);
  layout->addLayout(strip);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

  resize(480, 400);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TLogFrm::ShowSysLog() {
  RefreshLog();
  show();
  raise();
  activateWindow();
}

void TLogFrm::RefreshLog() {
  // One call to Text is one consistent snapshot; lines appended after it show at the next refresh.
  const QString text = QString::fromStdString(sysLog_.Text());
  QStringList lines = text.split(QStringLiteral("\r\n"));
  // Every line ends with CR LF, so the last piece is the empty text after the final one.
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  LogList->clear();
  LogList->addItems(lines);
}

void TLogFrm::Button1Click() {
  sysLog_.Clear();
  LogList->clear();
}

void TLogFrm::Button2Click() {
  RefreshLog();
}

}  // namespace orvo::console
