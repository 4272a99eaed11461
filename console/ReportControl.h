// What the hand-in window ("作业情况") does apart from its widgets: the classes and the class of
// the lesson now, the start a teacher means by default and the one typed, a class's students with
// their folders, where files are saved by default, and the class work the window runs (the
// classwork library's, replaceable so that tests can hold or fake it). Failures are raised as
// std::runtime_error with a Chinese sentence. Window thread only; the work functions run on the
// window's worker.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "classwork/ClassRoster.h"
#include "classwork/CollectWork.h"
#include "classwork/HandInReport.h"
#include "classwork/HandOut.h"
#include "console/ClassListControl.h"

namespace orvo::platform {
class Clock;
}
namespace orvo::service {
class OrvoService;
}

namespace orvo::console {

struct ClassWork {
  std::function<classwork::ClassReport(
      const std::string& className, const std::vector<classwork::StudentFolder>& students,
      std::optional<uint64_t> since, classwork::WorkProgress& progress)>
      report;
  std::function<classwork::CollectResult(const classwork::CollectRequest& request,
                                         classwork::WorkProgress& progress)>
      collect;
  std::function<classwork::HandOutResult(const classwork::HandOutRequest& request,
                                         classwork::WorkProgress& progress)>
      handOut;
};

// HandInReport, CollectWork and HandOut of the classwork library.
ClassWork LibraryClassWork();

class ReportControl {
 public:
  ReportControl(service::OrvoService& service, const platform::Clock& clock);

  // Replaces the classwork library's functions.
  void UseWork(ClassWork work) { work_ = std::move(work); }
  const ClassWork& Work() const { return work_; }

  // The classes as the database holds them, in the console's order.
  QStringList LoadClasses();
  // Where the class of the lesson now is among the classes last loaded; -1 when no lesson is on,
  // the gate is paused or the lesson names no listed class.
  int LessonClass();
  // The start of the class's latest lesson today (the timetable's weekday as the timetable window
  // may have changed it), else the start of today, as "YYYY-MM-DD HH:MM".
  QString DefaultStart(const QString& className);
  // The file time of a start typed as "YYYY-MM-DD HH:MM".
  uint64_t StartTime(const QString& text) const;
  // The class's students in name order with their folders.
  std::vector<classwork::StudentFolder> Roster(const QString& className);
  // CLASS-YYYYMMDD-HHMM.zip (of now) in the user's documents folder.
  QString DefaultArchivePath(const QString& className) const;
  // The same name with "-作业情况.csv" for the report.
  QString DefaultCsvPath(const QString& className) const;
  // Where the file pickers of a hand-out open: the public folder.
  QString PublicFolder() const;

  // Writes `bytes` to `path` whole or not at all (an existing file stays as it was on a failure).
  static void SaveFile(const QString& path, const std::string& bytes);

 private:
  store::TOrvoDiskDb& Db();

  service::OrvoService& service_;
  const platform::Clock& clock_;
  ClassListControl classes_;
  ClassWork work_;
};

}  // namespace orvo::console
