#include "console/MoneyUnit.h"

namespace orvo::console {

TMoneyFrm::TMoneyFrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("MoneyFrm"));
  setWindowTitle(QStringLiteral("你的打赏是我的动力"));
  setFixedSize(400, 400);
}

}  // namespace orvo::console
