#include "console/LogUnit.h"

namespace orvo::console {

TLogFrm::TLogFrm(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), dialogs_(dialogs) {
  setObjectName(QStringLiteral("LogFrm"));
  setWindowTitle(QStringLiteral("查看日志"));
  resize(480, 400);
}

void TLogFrm::ShowSysLog() {
  show();
  raise();
  activateWindow();
}

}  // namespace orvo::console
