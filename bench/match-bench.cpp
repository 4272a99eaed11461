// In-process figures for the wildcard matcher and the folder listing behind LIST: one name tested
// against patterns from the everyday ("*.docx") to the hostile (16,000 stars, the longest pattern
// that still counts with the most states alive), and folders of a few thousand files listed with
// them: one of short names as students keep, one of names as long as a name can be, which a
// student could make to raise the cost of every name. The folders live in a temporary folder
// under /tmp that is removed when the program ends.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/FindFiles.h"
#include "platform/FindPattern.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFolderFiles = 3000;

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

struct Shape {
  std::string label;
  std::string pattern;
  std::string name;  // the name MatchesFindPattern is asked about
};

// A long name without the letter the hostile patterns end in, so that they fail only at its end.
const std::string kLongName = std::string(250, 'a') + ".txt";

std::vector<Shape> Shapes() {
  return {
      {"everyday:*.docx", "*.docx", "学生0042-作业.docx"},
      {"stars:16000", std::string(16000, '*'), "学生0042-作业.docx"},
      {"stars:260", std::string(260, '*'), kLongName},
      // Star, letter, star, ...: each star ends the states before it, so few stay alive.
      {"star-letter:260", Repeat("*a", 129) + "*b", kLongName},
      // One star then question marks: every position of the run stays alive, the dearest pattern
      // that still fits a name.
      {"star-questions:260", "*" + std::string(258, '?') + "b", kLongName},
  };
}

// Short names ("学生0042-作业.docx") and one long one, or only names of 250 units.
enum class Names { Short, Long };

class BenchFolder {
 public:
  explicit BenchFolder(Names names) {
    std::string pattern = (fs::temp_directory_path() / "orvo-match-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    for (int i = 0; i < kFolderFiles; ++i) {
      char name[64];
      std::snprintf(name, sizeof name, names == Names::Short ? "学生%04d-作业.docx" : "-%04d.docx",
                    i);
      const std::string file = names == Names::Short ? name : std::string(240, 'a') + name;
      std::ofstream(path_ / file) << "homework " << i << '\n';
    }
    if (names == Names::Short) std::ofstream(path_ / kLongName) << "long\n";
  }
  ~BenchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

  std::string Path() const { return path_.string(); }

 private:
  fs::path path_;
};

const BenchFolder& Folder(Names names) {
  static const BenchFolder shortNames(Names::Short);
  static const BenchFolder longNames(Names::Long);
  return names == Names::Short ? shortNames : longNames;
}

void MatchOneName(benchmark::State& state, const Shape& shape) {
  bool matched = false;
  for (auto _ : state) {
    matched = orvo::platform::MatchesFindPattern(shape.pattern, shape.name);
    benchmark::DoNotOptimize(matched);
  }
  state.SetLabel(matched ? "matches" : "no match");
}

void ListFolder(benchmark::State& state, Names names, const Shape& shape) {
  const std::string folder = Folder(names).Path();
  std::size_t found = 0;
  for (auto _ : state) {
    found = orvo::platform::FindMatching(folder, shape.pattern).size();
    benchmark::DoNotOptimize(found);
  }
  const int files = names == Names::Short ? kFolderFiles + 1 : kFolderFiles;
  state.SetLabel(std::to_string(found) + " of " + std::to_string(files) + " listed");
}

}  // namespace

int main(int argc, char** argv) {
  for (const Shape& shape : Shapes()) {
    benchmark::RegisterBenchmark(("BM_MatchesFindPattern/" + shape.label).c_str(), MatchOneName,
                                 shape);
  }
  for (const Names names : {Names::Short, Names::Long}) {
    const std::string folder = (names == Names::Short ? "short-names:" : "long-names:") +
                               std::to_string(kFolderFiles) + "/";
    for (const Shape& shape : Shapes()) {
      benchmark::RegisterBenchmark(("BM_FindMatching/" + folder + shape.label).c_str(), ListFolder,
                                   names, shape)
          ->Unit(benchmark::kMicrosecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
