#include "classwork/HandOut.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "pack/HostFiles.h"
#include "platform/FileSystem.h"
#include "platform/MoveEntry.h"
#include "platform/PathSyntax.h"
#include "platform/PendingFile.h"
#include "platform/PortableName.h"
#include "platform/Utf8Path.h"

namespace orvo::classwork {
namespace {

namespace fs = std::filesystem;

// What a copy is called until it is whole.
constexpr std::string_view kHandOutPrefix = ".orvo-handout-";

// The subfolder's levels, or nullopt when it is not a relative path of portable folder names.
std::optional<std::vector<std::string>> SubfolderLevels(const std::string& into) {
  std::vector<std::string> levels;
  std::size_t start = 0;
  while (start <= into.size()) {
    std::size_t end = into.find_first_of("/\\", start);
    if (end == std::string::npos) end = into.size();
    const std::string level = into.substr(start, end - start);
    if (!level.empty()) {
      if (level == "." || level == ".." || !platform::IsPortableName(level)) return std::nullopt;
      levels.push_back(level);
    } else if (start == 0 && end < into.size()) {
      return std::nullopt;  // "/x": an absolute path
    }
    start = end + 1;
  }
  return levels;
}

// Copies the source to `to`, which does not exist yet. Copies get the owner's write permission,
// so that a worksheet handed out read-only can still be filled in and saved by the student.
void CopyEntry(const fs::path& from, const fs::path& to, bool folder) {
  if (folder) {
    fs::copy(from, to, fs::copy_options::recursive);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(to)) {
      fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write,
                      fs::perm_options::add);
    }
  } else {
    fs::copy_file(from, to);
  }
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
}

bool Inside(const fs::path& path, const fs::path& folder) {
  std::error_code error;
  const fs::path a = fs::weakly_canonical(path, error);
  const fs::path b = fs::weakly_canonical(folder, error);
  if (error) return false;
  const auto mismatch = std::mismatch(b.begin(), b.end(), a.begin(), a.end());
  return mismatch.first == b.end();
}

StudentHandOut HandOutTo(const StudentFolder& student, const std::vector<std::string>& levels,
                         const fs::path& source, const std::string& name, bool folder) {
  StudentHandOut out;
  out.student = student;
  std::string into = student.folder;
  for (const std::string& level : levels) into = platform::JoinPath(into, level);
  out.target = platform::JoinPath(into, name);
  const auto fail = [&](Fault fault, const std::string& subject, std::string reason) {
    out.outcome = fault == Fault::kExists ? StudentHandOut::Outcome::kSkipped
                                          : StudentHandOut::Outcome::kFailed;
    out.problem = Problem{fault, subject, std::move(reason), student.name};
    return out;
  };

  if (!platform::IsFolder(student.folder)) {
    return fail(Fault::kFolderMissing, student.folder, {});
  }
  if (!platform::CreateFolderPath(into)) {
    return fail(Fault::kCopyFailed, into, "the folder cannot be made");
  }
  if (platform::Exists(out.target)) return fail(Fault::kExists, out.target, {});
  if (folder && Inside(platform::Utf8Path(into), source)) {
    return fail(Fault::kCopyFailed, out.target, "it lies inside the folder handed out");
  }

  const std::string pending = platform::NameBeside(out.target, kHandOutPrefix);
  const fs::path pendingPath = platform::Utf8Path(pending);
  try {
    CopyEntry(source, pendingPath, folder);
  } catch (const fs::filesystem_error& e) {
    std::error_code ignored;
    fs::remove_all(pendingPath, ignored);
    return fail(Fault::kCopyFailed, out.target, pack::host::ErrorText(e.code()));
  }
  std::string reason;
  bool existed = false;
  if (!platform::RenameToNewName(pending, out.target, reason, existed)) {
    std::error_code ignored;
    fs::remove_all(pendingPath, ignored);
    return existed ? fail(Fault::kExists, out.target, {})
                   : fail(Fault::kCopyFailed, out.target, reason);
  }
  out.outcome = StudentHandOut::Outcome::kCopied;
  return out;
}

}  // namespace

HandOutResult HandOut(const HandOutRequest& request, WorkProgress& progress) {
  HandOutResult result;
  const std::optional<std::vector<std::string>> levels = SubfolderLevels(request.into);
  if (!levels) {
    result.failure = Problem{Fault::kBadSubfolder, request.into, {}, {}};
    return result;
  }
  const std::string sourceText = platform::TrimSeparators(request.source);
  const fs::path source = platform::Utf8Path(sourceText);
  std::error_code error;
  const fs::file_status status = fs::status(source, error);
  const bool folder = fs::is_directory(status);
  if (!error && folder) {
    for (fs::recursive_directory_iterator it(source, error), end; !error && it != end;
         it.increment(error)) {
      if (it->is_regular_file(error)) {
        ++result.sourceFiles;
        result.sourceBytes += it->file_size(error);
      }
    }
  } else if (!error && fs::is_regular_file(status)) {
    result.sourceFiles = 1;
    result.sourceBytes = fs::file_size(source, error);
  } else if (!error) {
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  }
  if (error) {
    result.failure = Problem{Fault::kSourceMissing, sourceText, pack::host::ErrorText(error), {}};
    return result;
  }

  const std::string name = platform::PathText(source.filename());
  for (std::size_t i = 0; i < request.students.size(); ++i) {
    progress.StudentStarted(i, request.students.size(), request.students[i].name);
    if (progress.StopRequested()) {
      result.failure = Problem{Fault::kCancelled, {}, {}, {}};
      break;
    }
    progress.FileStarted(name);
    StudentHandOut out = HandOutTo(request.students[i], *levels, source, name, folder);
    switch (out.outcome) {
      case StudentHandOut::Outcome::kCopied:
        ++result.copied;
        break;
      case StudentHandOut::Outcome::kSkipped:
        ++result.skipped;
        break;
      case StudentHandOut::Outcome::kFailed:
        ++result.failed;
        break;
    }
    result.students.push_back(std::move(out));
  }
  return result;
}

}  // namespace orvo::classwork
