// Folder packing speed: packs one generated tree (class folders of student folders holding text
// and already-compressed files of mixed sizes) with each worker count in turn, several rounds,
// and, where Info-ZIP's zip is installed, runs `zip -r -6` on the same tree for reference. Prints
// the median and best times, the rates, the archive sizes and whether every worker count wrote
// the same bytes. The tree lives in a temporary folder under /tmp removed at the end.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchTree.h"
#include "pack/PackFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace orvo::bench;

struct TreeFigures {
  uint64_t bytes = 0;
  std::size_t files = 0;
  std::size_t folders = 0;
};

// Class folders of student folders, each student with a few small text files, some medium ones
// and now and then a big one, half of the bytes already compressed.
TreeFigures MakeTree(const fs::path& root, uint64_t targetBytes) {
  Xorshift random(2026);
  TreeFigures figures;
  for (int classNo = 1; figures.bytes < targetBytes; ++classNo) {
    for (int student = 1; student <= 40 && figures.bytes < targetBytes; ++student) {
      char name[64];
      std::snprintf(name, sizeof name, "网络%02d班/学生%02d-%03d", classNo, classNo, student);
      const fs::path folder = root / name;
      fs::create_directories(folder / "作业");
      figures.folders += 2;
      const int files = 4 + static_cast<int>(random.Below(8));
      for (int f = 0; f < files; ++f) {
        const MixedFile mixed = NextMixedFile(random);
        char file[64];
        std::snprintf(file, sizeof file, "%s%02d.%s", f % 2 ? "作业/" : "", f,
                      mixed.compressed ? "jpg" : "txt");
        std::ofstream(folder / file, std::ios::binary) << mixed.content;
        figures.bytes += mixed.content.size();
        ++figures.files;
      }
    }
  }
  return figures;
}

struct NoProgress : orvo::pack::PackProgress {
  void FilePacking(const std::string&) override {}
};

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes(fs::file_size(file), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

struct Series {
  std::string label;
  std::vector<double> seconds;
  uint64_t archiveBytes = 0;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Folder packing: worker counts against each other and against zip -r -6."};
  unsigned sizeMib = 200;
  unsigned rounds = 3;
  std::vector<unsigned> workerCounts{1, 2};
  bool withZip = true;
  app.add_option("--size-mib", sizeMib, "size of the generated tree")->capture_default_str();
  app.add_option("--rounds", rounds, "runs of each configuration")->capture_default_str();
  app.add_option("--workers", workerCounts, "worker counts to compare")->capture_default_str();
  app.add_flag("!--no-zip", withZip, "skip the zip -r -6 reference");
  CLI11_PARSE(app, argc, argv);

  int status = 0;
  try {
    const ScratchFolder scratch("orvo-pack-bench");
    const fs::path& parent = scratch.Path();
    const fs::path tree = parent / "tree";
    const TreeFigures figures = MakeTree(tree, uint64_t{sizeMib} << 20);
    std::printf("tree: %zu files in %zu folders, %.1f MiB\n", figures.files, figures.folders,
                figures.bytes / 1048576.0);

    std::vector<Series> series;
    for (unsigned workers : workerCounts)
      series.push_back({std::to_string(workers) + " worker(s)", {}, 0});
    const bool zipRuns = withZip && RunZip(parent, "tree", parent / "warm-up.zip");
    if (zipRuns) series.push_back({"zip -r -6", {}, 0});
    // The warm-up zip run (or the first packing) also brings the tree into the page cache.
    fs::remove(parent / "warm-up.zip");

    std::map<unsigned, std::string> archives;
    bool identical = true;
    for (unsigned round = 0; round < rounds; ++round) {
      for (std::size_t i = 0; i < workerCounts.size(); ++i) {
        NoProgress progress;
        const auto start = Clock::now();
        const orvo::pack::PackResult result =
            orvo::pack::PackFolder(tree.string(), progress, workerCounts[i]);
        series[i].seconds.push_back(Seconds(Clock::now() - start));
        if (!result.complete) throw std::runtime_error(result.error);
        series[i].archiveBytes = fs::file_size(result.archivePath);
        if (round == 0) {
          std::string bytes = ReadAll(result.archivePath);
          if (!archives.empty() && bytes != archives.begin()->second) identical = false;
          archives[workerCounts[i]] = std::move(bytes);
        }
      }
      if (zipRuns) {
        const fs::path archive = parent / "by-zip.zip";
        fs::remove(archive);
        const auto start = Clock::now();
        if (!RunZip(parent, "tree", archive)) throw std::runtime_error("zip failed");
        series.back().seconds.push_back(Seconds(Clock::now() - start));
        series.back().archiveBytes = fs::file_size(archive);
      }
    }

    const double mib = figures.bytes / 1048576.0;
    std::printf("%-12s %10s %10s %10s %14s\n", "packer", "median s", "best s", "MiB/s",
                "archive bytes");
    for (const Series& s : series) {
      const double median = Median(s.seconds);
      std::printf("%-12s %10.2f %10.2f %10.1f %14llu\n", s.label.c_str(), median, Best(s.seconds),
                  mib / median, static_cast<unsigned long long>(s.archiveBytes));
    }
    const double first = Median(series.front().seconds);
    for (std::size_t i = 1; i < workerCounts.size(); ++i) {
      std::printf("%s against %s: %.2fx as fast\n", series[i].label.c_str(),
                  series.front().label.c_str(), first / Median(series[i].seconds));
    }
    if (zipRuns) {
      const Series& zip = series.back();
      for (std::size_t i = 0; i < workerCounts.size(); ++i) {
        std::printf("%s against zip -r -6: %.2fx as fast, archive %+.2f %%\n",
                    series[i].label.c_str(), Median(zip.seconds) / Median(series[i].seconds),
                    100.0 * (static_cast<double>(series[i].archiveBytes) / zip.archiveBytes - 1));
      }
    }
    std::printf("archives of every worker count identical: %s\n", identical ? "yes" : "NO");
    if (!identical) status = 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pack-bench: %s\n", e.what());
    status = 1;
  }
  return status;
}
