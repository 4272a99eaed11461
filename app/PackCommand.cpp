#include "app/PackCommand.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "app/Terminal.h"
#include "app/TerminalLine.h"
#include "pack/FolderWalk.h"
#include "pack/PackFolder.h"
#include "platform/PathSyntax.h"
#include "platform/Utf8Path.h"

namespace orvo::app {
namespace {

constexpr std::size_t kBarColumns = 24;

// The files the packing will take, for the bar's total: a first walk that only lists.
std::size_t CountFiles(const std::string& folder) {
  pack::FolderWalk walk(platform::TrimSeparators(folder), std::nullopt);
  std::size_t files = 0;
  while (walk.Next()) ++files;
  return files;
}

// "[#####     ] 12/345 sub/file.txt" redrawn in place on standard error, at most ten times a
// second.
class ProgressBar final : public pack::PackProgress {
 public:
  explicit ProgressBar(std::size_t total) : total_(total) {}
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void FilePacking(const std::string& relativePath) override {
    const std::size_t done = packing_++;
    // The archive of an earlier packing was counted, so the count can run past the total.
    const std::size_t total = std::max(total_, packing_);
    const std::size_t filled = total == 0 ? kBarColumns : done * kBarColumns / total;
    line_.Show("[" + std::string(filled, '#') + std::string(kBarColumns - filled, ' ') + "] " +
                   std::to_string(done) + "/" + std::to_string(total) + " ",
               relativePath);
  }

 private:
  std::size_t total_;
  std::size_t packing_ = 0;
  TerminalLine line_;
};

// Off a terminal there is nothing to show while packing.
class Silent final : public pack::PackProgress {
 public:
  void FilePacking(const std::string&) override {}
};

// What became of the archive after a failure, for the end of the message.
std::string ArchiveFate(const pack::PackResult& result) {
  if (result.errorKind == pack::PackError::CreateArchive) {
    return "nothing was packed";
  }
  if (result.archiveKept) {
    return "the archive " + result.archivePath + " was kept with the " +
           std::to_string(result.entries) + (result.entries == 1 ? " file" : " files") +
           " packed before";
  }
  return "the archive " + result.archivePath + " was removed";
}

std::string FailureLine(const pack::PackResult& result) {
  const char* what = "cannot pack";
  switch (result.errorKind) {
    case pack::PackError::None:
      break;
    case pack::PackError::CreateArchive:
      what = "cannot create the archive";
      break;
    case pack::PackError::OpenFile:
      what = "cannot open";
      break;
    case pack::PackError::ReadFile:
      what = "cannot read";
      break;
    case pack::PackError::WriteArchive:
      what = "cannot write the archive";
      break;
  }
  return std::string(what) + " " + result.errorPath + ": " + result.errorReason + "; " +
         ArchiveFate(result);
}

}  // namespace

int PackCommand(const std::string& folder) {
  std::error_code error;
  const std::filesystem::file_status status =
      std::filesystem::status(platform::Utf8Path(folder), error);
  if (!std::filesystem::exists(status)) {
    std::fprintf(stderr, "orvo-admin: there is no folder %s\n", folder.c_str());
    return 1;
  }
  if (!std::filesystem::is_directory(status)) {
    std::fprintf(stderr, "orvo-admin: %s is a file, not a folder; pack takes a folder\n",
                 folder.c_str());
    return 1;
  }

  pack::PackResult result;
  if (StderrIsTerminal()) {
    ProgressBar bar(CountFiles(folder));
    result = pack::PackFolder(folder, bar);
  } else {
    Silent silent;
    result = pack::PackFolder(folder, silent);
  }
  if (!result.complete) {
    std::fprintf(stderr, "orvo-admin: %s\n", FailureLine(result).c_str());
    return 1;
  }
  std::printf("%s\n", result.archivePath.c_str());
  return 0;
}

}  // namespace orvo::app
