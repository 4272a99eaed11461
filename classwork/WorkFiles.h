// The files of one student's folder that count as work since a start: every plain file at any
// depth changed at or after it (all of them without a start), in the order folder packing takes
// them, leaving out the temporaries of uploads still under way. What the report counts is exactly
// what the collection packs. One thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "classwork/ClassRoster.h"
#include "classwork/Problem.h"
#include "pack/FolderWalk.h"

namespace orvo::classwork {

class WorkFiles {
 public:
  WorkFiles(const StudentFolder& student, std::optional<uint64_t> since);

  // The next file (relativePath and entryName relative to the student's folder), or nullopt.
  std::optional<pack::TreeFile> Next();
  // After the last file: the folder missing, or the first folder that could not be listed.
  std::optional<Problem> FolderProblem() const;

 private:
  const StudentFolder& student_;
  std::optional<uint64_t> since_;
  std::optional<Problem> missing_;  // the student's folder itself
  std::optional<pack::FolderWalk> walk_;
};

}  // namespace orvo::classwork
