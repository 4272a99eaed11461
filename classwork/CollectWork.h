// One archive of a class's work: entries CLASS/NAME/relative path for each student's files changed
// since the start (or all files), then CLASS/清单.csv listing every student with each file's path,
// bytes, modification time and SHA-256, a student with nothing as "未交" and each file or folder
// that could not be read with the reason. Written by pack/'s parallel writer; a file that cannot
// be read is left out and named in the manifest while the rest of the class goes on. Reads the
// students' folders only. One thread per call; the progress is called on it.
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

namespace orvo::classwork {

inline constexpr char kManifestName[] = "清单.csv";

struct CollectRequest {
  std::string className;
  std::vector<StudentFolder> students;
  std::optional<uint64_t> since;  // file time; nullopt: every file
  std::string archivePath;        // replaced when it exists
  unsigned workers = 0;           // deflating threads; 0: one per core
};

struct CollectResult {
  std::string archivePath;
  // Every readable file and the manifest went in and the archive is closed.
  bool complete = false;
  // The archive lies at archivePath. Only a complete archive is kept: one that could not be
  // finished, or was stopped, is removed (an existing file it was to replace is gone too).
  bool archiveKept = false;
  std::size_t files = 0;  // student files in the archive
  uint64_t bytes = 0;     // their bytes before compression
  std::size_t studentsWithWork = 0;
  std::vector<std::string> withoutWork;  // the names of the others, in the roster's order
  // Items left out, in order: missing or unreadable folders, unreadable files. The manifest names
  // them too.
  std::vector<Problem> skipped;
  // What ended the archive early: kArchiveCreate, kArchiveWrite or kCancelled.
  std::optional<Problem> failure;
};

// "CLASS-YYYYMMDD-HHMM.zip" for the local time `now`; characters a Windows file name cannot hold
// become "_".
std::string DefaultArchiveName(const std::string& className, const platform::LocalDateTime& now);

CollectResult CollectWork(const CollectRequest& request, WorkProgress& progress);

}  // namespace orvo::classwork
