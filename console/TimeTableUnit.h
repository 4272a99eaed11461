// TTimeTableFrm: the timetable window, shown (not modally) by the main window's "设置课程表" link;
// closing it only hides it. So far it is the bare window; its list and controls are to come.
// Window thread only.
#pragma once

#include <QWidget>

namespace orvo::service {
class OrvoService;
}

namespace orvo::console {

class Dialogs;

class TTimeTableFrm final : public QWidget {
 public:
  TTimeTableFrm(service::OrvoService& service, Dialogs& dialogs, QWidget* parent = nullptr);

 private:
  // Kept for the timetable list and its buttons.
  [[maybe_unused]] service::OrvoService& service_;
  [[maybe_unused]] Dialogs& dialogs_;
};

}  // namespace orvo::console
