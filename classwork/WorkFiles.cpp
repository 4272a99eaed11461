#include "classwork/WorkFiles.h"

#include "pack/HostFiles.h"
#include "platform/FileSystem.h"
#include "platform/ReplacementFile.h"

namespace orvo::classwork {

WorkFiles::WorkFiles(const StudentFolder& student, std::optional<uint64_t> since)
    : student_(student), since_(since) {
  const std::string problem = pack::host::FolderProblem(student.folder);
  if (problem.empty()) {
    walk_.emplace(student.folder, std::nullopt);
  } else if (!platform::Exists(student.folder)) {
    missing_ = Problem{Fault::kFolderMissing, student.folder, {}, student.name};
  } else {
    missing_ = Problem{Fault::kFolderUnreadable, student.folder, problem, student.name};
  }
}

std::optional<pack::TreeFile> WorkFiles::Next() {
  if (!walk_) return std::nullopt;
  while (std::optional<pack::TreeFile> file = walk_->Next()) {
    if (since_ && file->data.lastWriteTime < *since_) continue;
    if (platform::IsNameBeside(file->data.name, platform::kUploadPrefix)) continue;
    return file;
  }
  return std::nullopt;
}

std::optional<Problem> WorkFiles::FolderProblem() const {
  if (missing_) return missing_;
  if (walk_ && !walk_->UnreadableFolders().empty()) {
    const std::string& folder = walk_->UnreadableFolders().front();
    return Problem{Fault::kFolderUnreadable, folder, pack::host::FolderProblem(folder),
                   student_.name};
  }
  return std::nullopt;
}

}  // namespace orvo::classwork
