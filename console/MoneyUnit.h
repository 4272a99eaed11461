// TMoneyFrm: the support dialog, shown (not modally) by the main window's support link. So far it
// is the bare dialog; its picture is to come. Window thread only.
#pragma once

#include <QDialog>

namespace orvo::console {

class TMoneyFrm final : public QDialog {
 public:
  explicit TMoneyFrm(QWidget* parent = nullptr);
};

}  // namespace orvo::console
