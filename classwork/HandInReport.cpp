#include "classwork/HandInReport.h"

#include <algorithm>

#include "classwork/Csv.h"
#include "classwork/LocalTime.h"
#include "classwork/WorkFiles.h"
#include "store/TimeText.h"

namespace orvo::classwork {
namespace {

// How many files a report reads between two looks at whether it should stop.
constexpr std::size_t kFilesBetweenStopChecks = 1024;

}  // namespace

platform::LocalDateTime DefaultStart(const std::vector<store::TimeTableRow>& lessons,
                                     const std::string& className,
                                     const platform::LocalDateTime& now, int weekday) {
  if (weekday < 1 || weekday > 7) weekday = now.dayOfWeek;
  const int32_t nowMs = ((now.hour * 60 + now.minute) * 60 + now.second) * 1000 + now.millisecond;
  int32_t latest = -1;
  for (const store::TimeTableRow& lesson : lessons) {
    int32_t begin = 0;
    if (lesson.week != weekday || !store::LessonAdmits(lesson.groupName, className) ||
        !store::TryParseTimeText(lesson.beginTime, begin) || begin > nowMs) {
      continue;
    }
    latest = std::max(latest, begin);
  }
  platform::LocalDateTime start = now;
  start.hour = start.minute = start.second = start.millisecond = 0;
  if (latest >= 0) {
    start.hour = latest / 3600000;
    start.minute = latest / 60000 % 60;
    start.second = latest / 1000 % 60;
  }
  return start;
}

ClassReport HandInReport(const std::string& className, const std::vector<StudentFolder>& students,
                         std::optional<uint64_t> since, WorkProgress& progress) {
  ClassReport report;
  report.className = className;
  report.since = since;
  for (std::size_t i = 0; i < students.size() && !report.stopped; ++i) {
    progress.StudentStarted(i, students.size(), students[i].name);
    if (progress.StopRequested()) {
      report.stopped = true;
      break;
    }
    StudentWork work;
    work.student = students[i];
    WorkFiles files(students[i], since);
    while (std::optional<pack::TreeFile> file = files.Next()) {
      ++work.files;
      work.bytes += file->data.size;
      work.newest = std::max(work.newest, file->data.lastWriteTime);
      if (work.files % kFilesBetweenStopChecks == 0 && progress.StopRequested()) {
        report.stopped = true;
        break;
      }
    }
    if (report.stopped) break;
    work.problem = files.FolderProblem();
    report.students.push_back(std::move(work));
  }
  return report;
}

std::string StatusText(const StudentWork& work) {
  if (work.problem) return ChineseText(*work.problem);
  return work.HandedIn() ? "已交" : "未交";
}

std::string ReportCsv(const ClassReport& report) {
  std::string csv(kUtf8ByteOrderMark);
  csv += CsvLine({"班级", "姓名", "文件数", "字节数", "最后修改", "状态"});
  for (const StudentWork& work : report.students) {
    csv += CsvLine({CsvText(report.className), CsvText(work.student.name),
                    std::to_string(work.files), std::to_string(work.bytes),
                    work.newest == 0 ? std::string() : FileTimeText(work.newest),
                    CsvText(StatusText(work))});
  }
  return csv;
}

}  // namespace orvo::classwork
