// TOnlineFrm: the online window, shown by the main window's "在线学生" link. It lists the running
// server's live logins, blocked addresses and addresses whose connections the connection limits
// refused or timed out, refreshed when it is shown, every few seconds while it is visible and on
// "刷新" (the rows selected stay selected); "下线" ends the selected logins, "全部下线" every login
// after a confirmation, "解除" lifts the selected blocks. The widgets sit over OnlineControl.
// Window thread only.
#pragma once

#include <QStringList>
#include <QWidget>

#include "console/OnlineControl.h"

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace orvo::service {
class OrvoService;
}

namespace orvo::console {

class Dialogs;

class TOnlineFrm final : public QWidget {
 public:
  // How often the lists are refreshed while the window is visible.
  static constexpr int kRefreshMs = 3000;

  TOnlineFrm(service::OrvoService& service, Dialogs& dialogs, QWidget* parent = nullptr);

  // Refreshes the lists, then shows the window and brings it to the front.
  void ShowOnline();
  // Fills the lists again from the server, keeping the selected addresses selected.
  void RefreshLists();
  void Button1Click();  // 下线
  void Button2Click();  // 全部下线
  void Button3Click();  // 解除
  void Button4Click();  // 刷新

  QLabel* Label1;
  QTableWidget* ListView1;  // the logins
  QLabel* Label2;
  QTableWidget* ListView2;  // the blocked addresses
  QLabel* Label3;
  QTableWidget* ListView3;  // the limited addresses
  QLabel* StateLabel;       // says why the lists are empty when no server runs
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button3;
  QPushButton* Button4;
  QTimer* Timer1;

 private:
  void BuildControls();

  OnlineControl control_;
  Dialogs& dialogs_;
};

}  // namespace orvo::console
