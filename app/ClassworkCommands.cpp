#include "app/ClassworkCommands.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "app/Terminal.h"
#include "app/TerminalLine.h"
#include "classwork/ClassRoster.h"
#include "classwork/CollectWork.h"
#include "classwork/HandInReport.h"
#include "classwork/HandOut.h"
#include "classwork/LocalTime.h"
#include "platform/Clock.h"
#include "platform/Utf8Path.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::admin {
namespace {

using classwork::Problem;

std::vector<classwork::StudentFolder> Roster(store::TOrvoDiskDb& db, const std::string& root,
                                             const std::string& className) {
  try {
    return classwork::ClassRoster(db, root, className);
  } catch (const classwork::RosterError& e) {
    throw std::runtime_error(classwork::EnglishText(e.problem()));
  }
}

// The start the command works from, said on standard error so that the output stays the table.
std::optional<uint64_t> Since(store::TOrvoDiskDb& db, const ClassworkArguments& a) {
  if (a.all) {
    if (a.since) throw std::runtime_error("--all and --since exclude each other");
    std::fprintf(stderr, "every file, whenever it changed\n");
    return std::nullopt;
  }
  platform::LocalDateTime start;
  if (a.since) {
    const auto read = classwork::ParseLocalMinute(*a.since);
    if (!read) {
      throw std::runtime_error("--since takes a local time \"YYYY-MM-DD HH:MM\", not '" + *a.since +
                               "'");
    }
    start = *read;
    std::fprintf(stderr, "files changed since %s\n", classwork::MinuteText(start).c_str());
  } else {
    const platform::LocalDateTime now = platform::SystemClock().Now();
    start = classwork::DefaultStart(db.TimeTableRows(), a.className, now);
    const bool midnight = start.hour == 0 && start.minute == 0 && start.second == 0;
    std::fprintf(stderr, "files changed since %s (%s; --since or --all to choose)\n",
                 classwork::MinuteText(start).c_str(),
                 midnight ? "the start of today: no lesson of the class has begun today"
                          : "the start of the class's latest lesson today");
  }
  return classwork::LocalToFileTime(start);
}

void PrintProblem(const Problem& problem) {
  if (problem.student.empty()) {
    std::fprintf(stderr, "orvo-admin: %s\n", classwork::EnglishText(problem).c_str());
  } else {
    std::fprintf(stderr, "orvo-admin: %s: %s\n", problem.student.c_str(),
                 classwork::EnglishText(problem).c_str());
  }
}

// Writes `bytes` to `path` whole or not at all: through a temporary file beside it.
void WriteFile(const std::string& path, const std::string& bytes) {
  const std::string pending = path + ".part";
  {
    std::ofstream out(platform::Utf8Path(pending), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      const std::string reason = std::generic_category().message(errno);
      std::error_code ignored;
      std::filesystem::remove(platform::Utf8Path(pending), ignored);
      throw std::runtime_error("cannot write " + path + ": " + reason);
    }
  }
  std::error_code error;
  std::filesystem::rename(platform::Utf8Path(pending), platform::Utf8Path(path), error);
  if (error) {
    const std::string reason = error.message();
    std::filesystem::remove(platform::Utf8Path(pending), error);
    throw std::runtime_error("cannot write " + path + ": " + reason);
  }
}

// One line a student on a terminal, redrawn in place; nothing when the output goes elsewhere.
class TerminalProgress final : public classwork::WorkProgress {
 public:
  explicit TerminalProgress(const char* verb) : verb_(verb), shown_(app::StderrIsTerminal()) {}
  void StudentStarted(std::size_t index, std::size_t count, const std::string& name) override {
    if (shown_) {
      line_.Show(
          std::string(verb_) + " " + std::to_string(index + 1) + "/" + std::to_string(count) + " ",
          name);
    }
  }
  void Clear() { line_.Clear(); }

 private:
  const char* verb_;
  bool shown_;
  app::TerminalLine line_;
};

}  // namespace

int ReportCommand(store::TOrvoDiskDb& db, const std::string& root, const ClassworkArguments& a) {
  const auto students = Roster(db, root, a.className);
  const std::optional<uint64_t> since = Since(db, a);
  TerminalProgress progress("reading");
  const classwork::ClassReport report =
      classwork::HandInReport(a.className, students, since, progress);
  progress.Clear();

  // The table is the CSV's, tab-separated, so that it reads the same and pastes into a sheet.
  std::printf("班级\t姓名\t文件数\t字节数\t最后修改\t状态\n");
  int status = 0;
  std::size_t handedIn = 0;
  for (const classwork::StudentWork& work : report.students) {
    std::printf("%s\t%s\t%zu\t%llu\t%s\t%s\n", a.className.c_str(), work.student.name.c_str(),
                work.files, static_cast<unsigned long long>(work.bytes),
                work.newest == 0 ? "" : classwork::FileTimeText(work.newest).c_str(),
                classwork::StatusText(work).c_str());
    if (work.HandedIn()) ++handedIn;
    if (work.problem) {
      PrintProblem(*work.problem);
      status = 1;
    }
  }
  std::fprintf(stderr, "%zu of %zu students handed in\n", handedIn, report.students.size());
  if (!a.csv.empty()) {
    WriteFile(a.csv, classwork::ReportCsv(report));
    std::fprintf(stderr, "wrote %s\n", a.csv.c_str());
  }
  return status;
}

int CollectCommand(store::TOrvoDiskDb& db, const std::string& root, const ClassworkArguments& a) {
  classwork::CollectRequest request;
  request.students = Roster(db, root, a.className);
  request.className = a.className;
  request.since = Since(db, a);
  request.archivePath =
      a.out.empty() ? classwork::DefaultArchiveName(a.className, platform::SystemClock().Now())
                    : a.out;
  TerminalProgress progress("collecting");
  const classwork::CollectResult result = classwork::CollectWork(request, progress);
  progress.Clear();

  for (const Problem& problem : result.skipped) PrintProblem(problem);
  if (result.failure) {
    std::fprintf(stderr, "orvo-admin: %s; %s\n", classwork::EnglishText(*result.failure).c_str(),
                 result.archiveKept ? "the archive was kept" : "no archive was left behind");
    return 1;
  }
  std::string without;
  for (const std::string& name : result.withoutWork) without += " " + name;
  std::fprintf(stderr, "%zu files (%llu bytes) of %zu students; %zu without work%s%s\n",
               result.files, static_cast<unsigned long long>(result.bytes), result.studentsWithWork,
               result.withoutWork.size(), without.empty() ? "" : ":", without.c_str());
  std::printf("%s\n", result.archivePath.c_str());
  return result.skipped.empty() ? 0 : 1;
}

int DistributeCommand(store::TOrvoDiskDb& db, const std::string& root,
                      const ClassworkArguments& a) {
  classwork::HandOutRequest request{Roster(db, root, a.className), a.path, a.into};
  TerminalProgress progress("copying");
  const classwork::HandOutResult result = classwork::HandOut(request, progress);
  progress.Clear();
  if (result.failure && result.students.empty()) {
    throw std::runtime_error(classwork::EnglishText(*result.failure));
  }
  for (const classwork::StudentHandOut& out : result.students) {
    switch (out.outcome) {
      case classwork::StudentHandOut::Outcome::kCopied:
        std::printf("copied\t%s\t%s\n", out.student.name.c_str(), out.target.c_str());
        break;
      case classwork::StudentHandOut::Outcome::kSkipped:
      case classwork::StudentHandOut::Outcome::kFailed:
        std::printf(
            "%s\t%s\t%s\n",
            out.outcome == classwork::StudentHandOut::Outcome::kSkipped ? "skipped" : "failed",
            out.student.name.c_str(), classwork::EnglishText(*out.problem).c_str());
        break;
    }
  }
  std::fprintf(stderr, "%zu copied, %zu skipped (they have that name already), %zu failed\n",
               result.copied, result.skipped, result.failed);
  if (result.failure) PrintProblem(*result.failure);
  return result.failed > 0 || result.failure ? 1 : 0;
}

}  // namespace orvo::admin
