// TLogFrm: the log window, shown by the main window's "查看记录" link. So far it is the bare
// window; the snapshot of the system log and its buttons are to come. Window thread only.
#pragma once

#include <QWidget>

namespace orvo::console {

class Dialogs;

class TLogFrm final : public QWidget {
 public:
  explicit TLogFrm(Dialogs& dialogs, QWidget* parent = nullptr);

  // Shows the window and brings it to the front.
  void ShowSysLog();

 private:
  // Kept for the log buttons.
  [[maybe_unused]] Dialogs& dialogs_;
};

}  // namespace orvo::console
