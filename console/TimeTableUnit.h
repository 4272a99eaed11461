// TTimeTableFrm: the timetable window, shown (not modally) by the main window's "设置课程表" link;
// closing it only hides it. It lists the timetable rows by weekday and start time, adds rows (the
// class picked from the existing classes or typed), deletes rows once confirmed and sets or ends
// the weekday adjustment of the login gate. Handlers are public so that tests
// drive the window as the operator does; a database failure inside one is shown through
// Dialogs::Error. Over a database that never opened the window says so and its buttons stay off.
// Window thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "console/TimeTableControl.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QTableWidget;

namespace orvo::service {
class OrvoService;
}

namespace orvo::console {

class Dialogs;

class TTimeTableFrm final : public QWidget {
 public:
  // Builds the controls and runs FormCreate, which fills the list from `service`'s database.
  TTimeTableFrm(service::OrvoService& service, Dialogs& dialogs, QWidget* parent = nullptr);

  // Lists the timetable and the classes, or says the database never opened and turns the buttons
  // off.
  void FormCreate();
  // Fills the class box's list again from the class list; what is typed in it stays.
  void RefreshClasses();
  // Fills the list again from the TimeTable table and sorts it.
  void RefreshListView();
  // Negative when row `a` comes first, 0 when the two are equal, positive when `b` does.
  int ListView1Compare(const TimeTableTexts& a, const TimeTableTexts& b) const;
  // A double click copies the selected row into the entry fields.
  void ListView1DblClick();
  // "添加项目": adds the entered row after checking the class and both times; a class text naming
  // a class that does not exist is saved only once the operator confirms it.
  void Button2Click();
  // "删除选中项目": deletes the selected row, once confirmed.
  void Button3Click();
  // "删除全部": deletes every row, once confirmed.
  void Button4Click();
  // "临时调整课表为": has the gate take the picked weekday instead of today's, or, for "不调整",
  // today's again.
  void ComboBox2Change();
  // The hidden button: creates the TimeTable table where an older database lacks it.
  void Button1Click();

  QTableWidget* ListView1;
  QFrame* Panel1;
  QComboBox* ComboBox1;
  QLabel* Label3;
  // The class text: the existing classes to pick from, and editable, since a lesson may name
  // several classes.
  QComboBox* ComboBox3;
  QLabel* Label1;
  QLineEdit* Edit1;
  QLabel* Label2;
  QLineEdit* Edit2;
  QLabel* Label7;
  QLabel* Label6;
  QComboBox* ComboBox2;
  QPushButton* Button2;
  QPushButton* Button3;
  QPushButton* Button4;
  QPushButton* Button1;
  // Says why the buttons are off when the database never opened; hidden otherwise.
  QLabel* DbStateLabel;

 protected:
  // Brings the class list up to date: classes may have been added while the window was hidden.
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  // Runs `body`, showing a raised failure's message in an error box.
  void Guarded(const std::function<void()>& body);
  void ShowRows(const std::vector<TimeTableTexts>& rows);
  int SelectedRow() const;

  TimeTableControl control_;
  Dialogs& dialogs_;
};

}  // namespace orvo::console
