// TReportForm: the hand-in window ("作业情况"), shown by the main window's link. For a class and a
// start time it lists who handed in what (a table sorted by any column, the students without work
// in red), saves that list as CSV, collects the class's work into one archive and hands a file or
// a folder out to every student. Reading, collecting and handing out run on a worker, one at a
// time, with the student being worked on shown; "停止" ends the work under way, and closing the
// window ends it too. The logic sits in ReportControl and ClassWorkTexts. Window thread only.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "classwork/HandInReport.h"
#include "console/ClassWorkRunner.h"
#include "console/ReportControl.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace orvo::platform {
class Clock;
}
namespace orvo::service {
class OrvoService;
}

namespace orvo::console {

class Dialogs;

class TReportForm final : public QWidget {
 public:
  static const QString kBusyText;

  TReportForm(service::OrvoService& service, Dialogs& dialogs, const platform::Clock& clock,
              QWidget* parent = nullptr);
  ~TReportForm() override;

  // Lists the classes again (keeping the class picked, else the lesson's class), shows the window
  // and reads the report.
  void ShowReport();
  // A class picked: its default start, then its report.
  void ComboBox1Change();
  // "全部文件": the start field is unused while it is checked.
  void CheckBox1Click();
  // "刷新": reads the report of the class and start shown.
  void Button1Click();
  // "导出CSV": saves the report shown as CSV where the operator chooses.
  void Button2Click();
  // "收取作业": collects the class's work into an archive where the operator chooses.
  void Button3Click();
  // "分发文件": hands a chosen file or folder out to every student of the class.
  void Button4Click();
  // "停止": ends the work under way; its end is shown.
  void Button5Click();

  ReportControl& Control() { return control_; }
  // Whether a report, collection or hand-out is under way.
  bool Working() const { return runner_.Running(); }
  // The report the table shows.
  const std::optional<classwork::ClassReport>& Report() const { return report_; }

  QLabel* Label1;
  QComboBox* ComboBox1;  // the class
  QLabel* Label2;
  QLineEdit* Edit1;      // the start, "YYYY-MM-DD HH:MM"
  QCheckBox* CheckBox1;  // 全部文件
  QPushButton* Button1;  // 刷新
  QTableWidget* ListView1;
  QLabel* Label3;  // the summary
  QLabel* Label4;  // the student being worked on
  QProgressBar* ProgressBar1;
  QPushButton* Button2;  // 导出CSV
  QPushButton* Button3;  // 收取作业
  QPushButton* Button4;  // 分发文件
  QPushButton* Button5;  // 停止

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  // Runs `body`, showing a raised failure in an error box.
  void Guarded(const std::function<void()>& body);
  // False, after saying so, while work is under way.
  bool Idle();
  QString ClassName() const;
  struct ChosenClass {
    QString name;
    std::vector<classwork::StudentFolder> students;
  };
  // The class picked for work with its students; nothing, after asking for one, when none is.
  std::optional<ChosenClass> PickedClass();
  // The start of the fields: nullopt for every file; raises when the text is no time.
  std::optional<uint64_t> Since() const;
  // Starts `work` on the worker and shows that it runs.
  void Run(const QString& doing, ClassWorkRunner::Work work);
  // Enables the controls that start work, or only "停止".
  void ShowWorking(bool working);
  // Shows the progress of the work under way.
  void ShowProgress(const QString& text, int done, int count);
  // The work has ended: the buttons come back.
  void ShowIdle();
  void ShowReportRows(classwork::ClassReport report);
  // A long text in a dialog the operator can scroll, a short one in a message box.
  void ShowLongText(const QString& title, const QString& text);

  Dialogs& dialogs_;
  ReportControl control_;
  std::optional<classwork::ClassReport> report_;
  ClassWorkRunner runner_;  // last: stopped before what its work shows into goes
};

}  // namespace orvo::console
