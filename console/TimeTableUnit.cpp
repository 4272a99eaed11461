#include "console/TimeTableUnit.h"

namespace orvo::console {

TTimeTableFrm::TTimeTableFrm(service::OrvoService& service, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      service_(service),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("TimeTableFrm"));
  setWindowTitle(QStringLiteral("课程表设置"));
  setFixedSize(639, 514);
}

}  // namespace orvo::console
