// Class work speed on generated classes of forty students: collecting a whole class into one
// archive (CollectWork) against `zip -r -6` of the class folder, and the hand-in report
// (HandInReport) against `find -newer` over a class of many small files, in the same run. Prints
// the median and best times, the archive sizes, the counts each side found, whether the targets
// are met and how much of the machine other processes took meanwhile. The classes live in a
// temporary folder under /tmp removed at the end.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/BenchTree.h"
#include "classwork/ClassRoster.h"
#include "classwork/CollectWork.h"
#include "classwork/HandInReport.h"
#include "classwork/WorkProgress.h"
#include "platform/FindData.h"

namespace {

namespace fs = std::filesystem;
namespace cw = orvo::classwork;
using namespace orvo::bench;

constexpr char kClass[] = "网络01班";

std::string StudentName(int index) {
  static const char* const surnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄",
                                         "赵", "吴", "周", "徐", "孙", "马", "朱",
                                         "胡", "郭", "何", "高", "林", "罗"};
  static const char* const givenNames[] = {"子涵", "雨桐", "浩然", "欣怡", "宇轩",
                                           "思远", "梓萱", "俊杰", "诗琪", "嘉怡"};
  // No two of the first 200 share surname and given name (3 and 10 have no common factor).
  const int surname = index % 20;
  const int givenName = (surname + index / 20 * 3) % 10;
  std::string name = std::string(surnames[surname]) + givenNames[givenName];
  if (index >= 200) name += std::to_string(index / 200);
  return name;
}

// The class's students with their folders CLASSFOLDER/NAME, as the service gives them.
std::vector<cw::StudentFolder> Roster(const fs::path& classFolder, int students) {
  std::vector<cw::StudentFolder> roster;
  for (int i = 0; i < students; ++i) {
    const std::string name = StudentName(i);
    roster.push_back({name, name, (classFolder / name).string()});
  }
  return roster;
}

void WriteFile(const fs::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary);
  out << content;
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

void SetFileTime(const fs::path& file, int64_t seconds) {
  const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  if (::utimensat(AT_FDCWD, file.c_str(), times, 0) != 0)
    throw std::runtime_error("cannot set the time of " + file.string());
}

struct ClassFigures {
  std::size_t files = 0;
  uint64_t bytes = 0;
  std::size_t filesAfterStart = 0;
};

// Each student's folder filled with the everyday mix up to about `bytesPerStudent`, spread over
// the folder itself and a few subfolders.
ClassFigures MakeCollectionClass(const std::vector<cw::StudentFolder>& roster,
                                 uint64_t bytesPerStudent) {
  static const char* const subfolders[] = {"", "作业/", "图片/", "作业/第3周/"};
  Xorshift random(2026);
  ClassFigures figures;
  for (const cw::StudentFolder& student : roster) {
    const fs::path folder = student.folder;
    fs::create_directories(folder / "作业" / "第3周");
    fs::create_directories(folder / "图片");
    uint64_t bytes = 0;
    for (int f = 0; bytes < bytesPerStudent; ++f) {
      const MixedFile mixed = NextMixedFile(random);
      char file[64];
      std::snprintf(file, sizeof file, "%s%03d.%s", subfolders[f % 4], f,
                    mixed.compressed ? "jpg" : "txt");
      WriteFile(folder / file, mixed.content);
      bytes += mixed.content.size();
      ++figures.files;
    }
    figures.bytes += bytes;
  }
  return figures;
}

// Each student's folder with `filesPerStudent` small files over a few subfolders, about half of
// them changed after `start` (Unix seconds) and the rest during the days before.
ClassFigures MakeReportClass(const std::vector<cw::StudentFolder>& roster, int filesPerStudent,
                             int64_t start) {
  static const char* const subfolders[] = {"", "作业/", "笔记/", "作业/练习/"};
  Xorshift random(2027);
  ClassFigures figures;
  for (const cw::StudentFolder& student : roster) {
    const fs::path folder = student.folder;
    fs::create_directories(folder / "作业" / "练习");
    fs::create_directories(folder / "笔记");
    for (int f = 0; f < filesPerStudent; ++f) {
      char file[64];
      std::snprintf(file, sizeof file, "%s%04d.txt", subfolders[f % 4], f);
      const std::string content = Incompressible(random, 200 + random.Below(4000));
      WriteFile(folder / file, content);
      const bool after = random.Below(2) == 0;
      SetFileTime(folder / file, after ? start + 1 + static_cast<int64_t>(random.Below(3600))
                                       : start - 1 - static_cast<int64_t>(random.Below(5 * 86400)));
      ++figures.files;
      figures.bytes += content.size();
      if (after) ++figures.filesAfterStart;
    }
  }
  return figures;
}

// Runs `find FOLDER -type f -newer REF -printf '%s\n'`: with `count`, returns how many lines it
// printed; without, its output goes to /dev/null and the result is 0. nullopt when find fails.
std::optional<std::size_t> RunFind(const fs::path& folder, const fs::path& ref, bool count) {
  int pipeFds[2] = {-1, -1};
  if (count && ::pipe(pipeFds) != 0) return std::nullopt;
  const pid_t pid = ::fork();
  if (pid < 0) {
    if (count) {
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
    }
    return std::nullopt;
  }
  if (pid == 0) {
    if (count) ::close(pipeFds[0]);
    const int out = count ? pipeFds[1] : ::open("/dev/null", O_WRONLY);
    if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0) ::_exit(127);
    ::execlp("find", "find", folder.c_str(), "-type", "f", "-newer", ref.c_str(), "-printf",
             "%s\\n", nullptr);
    ::_exit(127);
  }
  std::size_t lines = 0;
  if (count) {
    ::close(pipeFds[1]);
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
      for (ssize_t i = 0; i < got; ++i) lines += buffer[i] == '\n';
    }
    ::close(pipeFds[0]);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return lines;
}

struct Series {
  std::string label;
  std::vector<double> seconds;
  uint64_t archiveBytes = 0;
};

void PrintSeries(const std::vector<Series>& series, double mib, bool archives) {
  std::printf("%-16s %10s %10s", "", "median s", "best s");
  if (mib > 0) std::printf(" %10s", "MiB/s");
  if (archives) std::printf(" %14s", "archive bytes");
  std::printf("\n");
  for (const Series& s : series) {
    const double median = Median(s.seconds);
    std::printf("%-16s %10.3f %10.3f", s.label.c_str(), median, Best(s.seconds));
    if (mib > 0) std::printf(" %10.1f", mib / median);
    if (archives) std::printf(" %14llu", static_cast<unsigned long long>(s.archiveBytes));
    std::printf("\n");
  }
}

// What other processes took of the machine between `before` and `after`: their ticks and all.
std::pair<uint64_t, uint64_t> OthersTicks(const CpuTicks& before, const CpuTicks& after) {
  const uint64_t busy = after.machineBusy - before.machineBusy;
  const uint64_t ours = after.ours - before.ours;
  return {busy > ours ? busy - ours : 0, after.machineTotal - before.machineTotal};
}

double OthersPercent(const CpuTicks& before, const CpuTicks& after) {
  const auto [others, total] = OthersTicks(before, after);
  return total ? 100.0 * static_cast<double>(others) / static_cast<double>(total) : 0.0;
}

// Prints what other processes took of the machine between `before` and now.
void PrintLoad(const CpuTicks& before) {
  const CpuTicks after = ReadCpuTicks();
  const auto [others, total] = OthersTicks(before, after);
  std::printf("load: other processes took %llu of %llu CPU ticks (%.1f %%), this one %llu\n",
              static_cast<unsigned long long>(others), static_cast<unsigned long long>(total),
              OthersPercent(before, after),
              static_cast<unsigned long long>(after.ours - before.ours));
}

// One round's times, side by side, with the share other processes took during it.
void PrintRound(unsigned round, const std::vector<Series>& series, const CpuTicks& before) {
  std::printf("round %u:", round + 1);
  for (const Series& s : series) std::printf(" %s %.3f s,", s.label.c_str(), s.seconds.back());
  std::printf(" other processes %.1f %%\n", OthersPercent(before, ReadCpuTicks()));
}

// Part a: the whole class into one archive, CollectWork against zip. False when a collection
// fell short.
bool BenchCollection(const fs::path& parent, int students, unsigned mibPerStudent,
                     unsigned rounds) {
  const fs::path root = parent / "collect";
  const std::vector<cw::StudentFolder> roster = Roster(root / kClass, students);
  const ClassFigures figures = MakeCollectionClass(roster, uint64_t{mibPerStudent} << 20);
  const double mib = figures.bytes / 1048576.0;
  std::printf("collection: %d students, %zu files, %.1f MiB\n", students, figures.files, mib);

  const CpuTicks before = ReadCpuTicks();
  // The warm-up zip run brings the class into the page cache for both sides.
  const bool zipRuns = RunZip(root, kClass, parent / "warm-up.zip");
  fs::remove(parent / "warm-up.zip");
  std::vector<Series> series{{"CollectWork", {}, 0}};
  if (zipRuns) series.push_back({"zip -r -6", {}, 0});
  bool complete = true;
  for (unsigned round = 0; round < rounds; ++round) {
    const CpuTicks roundStart = ReadCpuTicks();
    cw::CollectRequest request;
    request.className = kClass;
    request.students = roster;
    request.archivePath = (parent / "collected.zip").string();
    request.workers = 0;
    cw::WorkProgress progress;
    const auto start = Clock::now();
    const cw::CollectResult result = cw::CollectWork(request, progress);
    series[0].seconds.push_back(Seconds(Clock::now() - start));
    if (!result.complete || result.files != figures.files) {
      std::printf("collection fell short: complete %s, %zu of %zu files\n",
                  result.complete ? "yes" : "no", result.files, figures.files);
      complete = false;
    }
    if (result.archiveKept) series[0].archiveBytes = fs::file_size(request.archivePath);
    if (zipRuns) {
      const fs::path archive = parent / "by-zip.zip";
      fs::remove(archive);
      const auto zipStart = Clock::now();
      if (!RunZip(root, kClass, archive)) throw std::runtime_error("zip failed");
      series[1].seconds.push_back(Seconds(Clock::now() - zipStart));
      series[1].archiveBytes = fs::file_size(archive);
    }
    PrintRound(round, series, roundStart);
  }
  PrintSeries(series, mib, true);
  if (zipRuns) {
    const double speed = Median(series[1].seconds) / Median(series[0].seconds);
    const double larger = 100.0 * (static_cast<double>(series[0].archiveBytes) /
                                       static_cast<double>(series[1].archiveBytes) -
                                   1);
    std::printf("CollectWork against zip -r -6: %.2fx as fast (best %.2fx), archive %+.2f %%\n",
                speed, Best(series[1].seconds) / Best(series[0].seconds), larger);
    std::printf("target (at least 1.8x as fast, archive at most 1 %% larger): %s\n",
                speed >= 1.8 && larger <= 1.0 ? "met" : "not met");
  } else {
    std::printf("zip is not installed: no reference\n");
  }
  PrintLoad(before);
  fs::remove_all(root);
  fs::remove(parent / "collected.zip");
  fs::remove(parent / "by-zip.zip");
  return complete;
}

// Part b: the hand-in report over a class of many small files against find -newer. False when
// the two counted different files.
bool BenchReport(const fs::path& parent, int students, int filesPerStudent, unsigned rounds) {
  const fs::path classFolder = parent / "report" / kClass;
  const std::vector<cw::StudentFolder> roster = Roster(classFolder, students);
  const int64_t start = static_cast<int64_t>(std::time(nullptr)) - 7200;
  const ClassFigures figures = MakeReportClass(roster, filesPerStudent, start);
  const fs::path ref = parent / "start";
  WriteFile(ref, {});
  SetFileTime(ref, start);
  std::printf("report: %d students, %zu files (%zu after the start), %.1f MiB\n", students,
              figures.files, figures.filesAfterStart, figures.bytes / 1048576.0);

  const std::optional<uint64_t> since = orvo::platform::ToFileTime(start, 0);
  const auto reportedFiles = [&] {
    cw::WorkProgress progress;
    const cw::ClassReport report = cw::HandInReport(kClass, roster, since, progress);
    std::size_t files = 0;
    for (const cw::StudentWork& work : report.students) files += work.files;
    return files;
  };
  const CpuTicks before = ReadCpuTicks();
  // Warm-up runs of each read the folders into the cache and give the counts.
  const std::size_t reported = reportedFiles();
  const std::optional<std::size_t> found = RunFind(classFolder, ref, true);
  if (!found) throw std::runtime_error("find failed");
  std::vector<Series> series{{"HandInReport", {}, 0}, {"find -newer", {}, 0}};
  for (unsigned round = 0; round < rounds; ++round) {
    const CpuTicks roundStart = ReadCpuTicks();
    auto begin = Clock::now();
    reportedFiles();
    series[0].seconds.push_back(Seconds(Clock::now() - begin));
    begin = Clock::now();
    if (!RunFind(classFolder, ref, false)) throw std::runtime_error("find failed");
    series[1].seconds.push_back(Seconds(Clock::now() - begin));
    PrintRound(round, series, roundStart);
  }
  PrintSeries(series, 0, false);
  const double ratio = Median(series[0].seconds) / Median(series[1].seconds);
  std::printf("HandInReport against find: %.2fx find's time (best %.2fx)\n", ratio,
              Best(series[0].seconds) / Best(series[1].seconds));
  std::printf("target (within 1.5x of find's time): %s\n", ratio <= 1.5 ? "met" : "not met");
  std::printf("files after the start: report %zu, find %zu lines, generated %zu: %s\n", reported,
              *found, figures.filesAfterStart,
              reported == *found && reported == figures.filesAfterStart ? "equal" : "DIFFERENT");
  PrintLoad(before);
  fs::remove_all(parent / "report");
  fs::remove(ref);
  return reported == *found;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Class work: collecting a class against zip -r -6, the hand-in report against find."};
  int students = 40;
  unsigned mibPerStudent = 20;
  int filesPerStudent = 1000;
  unsigned rounds = 3;
  bool collect = true;
  bool report = true;
  app.add_option("--students", students, "students in each class")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000));
  app.add_option("--mib-per-student", mibPerStudent, "bytes of each student's folder to collect")
      ->capture_default_str();
  app.add_option("--files-per-student", filesPerStudent, "small files of each student to report")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000000));
  app.add_option("--rounds", rounds, "runs of each side")
      ->capture_default_str()
      ->check(CLI::Range(1u, 1000u));
  app.add_flag("!--no-collect", collect, "skip the collection");
  app.add_flag("!--no-report", report, "skip the report");
  CLI11_PARSE(app, argc, argv);

  int status = 0;
  try {
    const ScratchFolder scratch("orvo-classwork-bench");
    const fs::path& parent = scratch.Path();
    if (collect && !BenchCollection(parent, students, mibPerStudent, rounds)) status = 1;
    if (report && !BenchReport(parent, students, filesPerStudent, rounds)) status = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "classwork-bench: %s\n", e.what());
    status = 1;
  }
  return status;
}
