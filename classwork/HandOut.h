// Handing out: a file or a folder copied into every student folder of a class, optionally into a
// subfolder there (made when missing). Only adds: a student's entry of the same name is never
// replaced but skipped and reported, and each copy is written under a hidden temporary name and
// renamed into place only when whole, so a failure leaves nothing half-written behind. One thread
// per call; the progress is called on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "classwork/ClassRoster.h"
#include "classwork/Problem.h"
#include "classwork/WorkProgress.h"

namespace orvo::classwork {

struct HandOutRequest {
  std::vector<StudentFolder> students;
  std::string source;  // a file or a folder of this host
  std::string into;    // a relative subfolder of each student's folder ("/" or "\" between
                       // levels); empty: the folder itself
};

struct StudentHandOut {
  enum class Outcome { kCopied, kSkipped, kFailed };
  StudentFolder student;
  Outcome outcome = Outcome::kFailed;
  std::string target;              // the path the copy has (or would have had)
  std::optional<Problem> problem;  // why skipped or failed
};

struct HandOutResult {
  std::vector<StudentHandOut> students;  // those reached, in order
  std::size_t copied = 0, skipped = 0, failed = 0;
  std::size_t sourceFiles = 0;  // files in the source (1 for a file)
  uint64_t sourceBytes = 0;
  // The source cannot be read or the subfolder is not acceptable (nothing was copied), or the
  // work was stopped (students after that are missing).
  std::optional<Problem> failure;
};

HandOutResult HandOut(const HandOutRequest& request, WorkProgress& progress);

}  // namespace orvo::classwork
