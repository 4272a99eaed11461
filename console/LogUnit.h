// TLogFrm: the log window, shown by the main window's "查看记录" link. It lists the system log, one
// item per line as received, opens at the newest line and, while it is shown, follows new lines:
// the view stays at the newest line unless the operator scrolled up to read, and then stays put.
// The line under the cursor is shown whole, wrapped, in a pane below the list. "清除日志" empties
// the log and the list. The log itself is thread-safe, so connection threads keep appending while
// the window reads it. The log is the service's and must outlive the window. Window thread only.
#pragma once

#include <QStringList>
#include <QWidget>

class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace orvo::core {
class TSysStringS;
}

namespace orvo::console {

class Dialogs;

class TLogFrm final : public QWidget {
 public:
  // How often a shown window looks for new lines.
  static constexpr int kFollowMs = 1000;

  TLogFrm(core::TSysStringS& sysLog, Dialogs& dialogs, QWidget* parent = nullptr);

  // Refreshes the list, then shows the window and brings it to the front.
  void ShowSysLog();
  // Replaces the list with the present lines of the system log and shows the newest.
  void RefreshLog();
  // FollowTimer's handler: brings the list up to the present lines of the system log. Lines the
  // log dropped at its front leave the list too; the view keeps to the newest line when it was
  // there, and otherwise stays on the lines it showed.
  void FollowLog();
  void Button1Click();
  void Button2Click();

  QListWidget* LogList;
  // The current line, whole.
  QPlainTextEdit* LogDetail;
  QPushButton* Button1;
  QPushButton* Button2;
  // Runs FollowLog while the window is shown.
  QTimer* FollowTimer;

 private:
  QStringList LogLines() const;

  core::TSysStringS& sysLog_;
  // Kept so that this window reports through the same dialogs as the others.
  [[maybe_unused]] Dialogs& dialogs_;
};

}  // namespace orvo::console
