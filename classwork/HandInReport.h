// Who handed in what: for each student of a class, the files changed in the student's folder
// since a start time (at any depth; an upload still under way is not counted), their bytes and the
// newest change, or "未交" when there is none. Also the start a teacher means by default (the
// latest lesson of the class today) and the report as a CSV file a spreadsheet on a Chinese
// Windows PC opens as it is. Reads only; changes nothing. One thread per call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "classwork/ClassRoster.h"
#include "classwork/Problem.h"
#include "classwork/WorkProgress.h"
#include "platform/Clock.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::classwork {

struct StudentWork {
  StudentFolder student;
  std::size_t files = 0;  // changed at or after the start
  uint64_t bytes = 0;
  uint64_t newest = 0;  // file time of the newest change among them; 0 when there is none
  // The folder is missing or (part of it) could not be read; the counts hold what could be.
  std::optional<Problem> problem;

  bool HandedIn() const { return files > 0; }
};

struct ClassReport {
  std::string className;
  std::optional<uint64_t> since;      // file time of the start; nullopt: every file counts
  std::vector<StudentWork> students;  // in the roster's order
  bool stopped = false;               // the progress asked to stop; later students are missing
};

// The start of the class's latest lesson today that has begun by `now` (lessons whose class text
// admits the class, store::LessonAdmits, on `weekday`: 1 = Monday ... 7 = Sunday, by default
// today's), else the start of today. Rows with bad times are passed over.
platform::LocalDateTime DefaultStart(const std::vector<store::TimeTableRow>& lessons,
                                     const std::string& className,
                                     const platform::LocalDateTime& now, int weekday = 0);

ClassReport HandInReport(const std::string& className, const std::vector<StudentFolder>& students,
                         std::optional<uint64_t> since, WorkProgress& progress);

// The 状态 column: "已交", "未交", or the folder's problem in Chinese.
std::string StatusText(const StudentWork& work);

// UTF-8 with a byte-order mark, CRLF line ends, fields quoted where they need it; the columns
// 班级, 姓名, 文件数, 字节数, 最后修改 (local "YYYY-MM-DD HH:MM:SS", empty when none), 状态.
std::string ReportCsv(const ClassReport& report);

}  // namespace orvo::classwork
