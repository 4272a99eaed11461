// TLogFrm: the log window, shown by the main window's "查看记录" link. It shows a snapshot of the
// system log, one item per line, taken when it is shown or "刷新" is clicked; "清除日志" empties
// the log and the list. The log itself is thread-safe, so connection threads keep appending while
// the window reads it. The log is the service's and must outlive the window. Window thread only.
#pragma once

#include <QWidget>

class QListWidget;
class QPushButton;

namespace orvo::core {
class TSysStringS;
}

namespace orvo::console {

class Dialogs;

class TLogFrm final : public QWidget {
 public:
  TLogFrm(core::TSysStringS& sysLog, Dialogs& dialogs, QWidget* parent = nullptr);

  // Refreshes the list, then shows the window and brings it to the front.
  void ShowSysLog();
  // Replaces the list with the present lines of the system log.
  void RefreshLog();
  void Button1Click();
  void Button2Click();

  QListWidget* LogList;
  QPushButton* Button1;
  QPushButton* Button2;

 private:
  core::TSysStringS& sysLog_;
  // Kept so that this window reports through the same dialogs as the others.
  [[maybe_unused]] Dialogs& dialogs_;
};

}  // namespace orvo::console
