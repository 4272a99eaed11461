#include "platform/MoveEntry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "platform/ExclusiveUse.h"
#include "platform/FileSystem.h"
#include "platform/PendingFile.h"

namespace orvo::platform {
namespace {

constexpr std::size_t kCopyPieceBytes = 32768;

// Rename cannot cross file systems; a plain file is copied beside the target and then takes its
// place, so the target is replaced only by a complete copy.
bool CopyAcross(ExclusiveUse& source, const std::string& sourcePath, const std::string& target) {
  File* from = source.OpenFile();
  if (from == nullptr) return false;
  try {
    PendingFile copy = PendingFile::CreateBeside(target, ".orvo-move-", source.Status().st_mode);
    const auto buffer = std::make_unique<char[]>(kCopyPieceBytes);
    while (const std::size_t n = from->Read(buffer.get(), kCopyPieceBytes)) {
      copy.Content().WriteAll(buffer.get(), n);
    }
    copy.Commit();
  } catch (const std::system_error&) {
    return false;
  }
  // The copy is in place; a source that cannot be deleted stays as a second copy.
  ::unlink(sourcePath.c_str());
  return true;
}

// Folder onto file or file onto an empty folder: rename cannot replace across kinds, so the old
// target steps aside first and comes back when the move fails.
bool ReplaceOtherKind(const std::string& source, const std::string& target, bool targetIsFolder) {
  std::string aside;
  for (int attempt = 0; attempt < 16 && aside.empty(); ++attempt) {
    std::string candidate = NameBeside(target, ".orvo-move-");
    // Never over an entry of the same name: that would be lost.
    if (::renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) {
      aside = std::move(candidate);
    } else if (errno != EEXIST) {
      return false;
    }
  }
  if (aside.empty()) return false;
  if (::rename(source.c_str(), target.c_str()) != 0) {
    ::rename(aside.c_str(), target.c_str());
    return false;
  }
  if (targetIsFolder ? ::rmdir(aside.c_str()) == 0 : ::unlink(aside.c_str()) == 0) return true;
  // The old folder held entries after all: undo the move.
  ::rename(target.c_str(), source.c_str());
  ::rename(aside.c_str(), target.c_str());
  return false;
}

}  // namespace

bool MoveEntry(const std::string& source, const std::string& target) {
  if (source == target) return Exists(source);
  auto from = ExclusiveUse::Claim(source);
  if (!from || from->Kind() == EntryKind::Missing) return false;
  const auto to = ExclusiveUse::Claim(target);
  if (!to) return false;
  const bool sourceIsFolder = from->Kind() == EntryKind::Folder;
  switch (to->Kind()) {
    case EntryKind::Missing:
      break;
    case EntryKind::Folder:
      if (!sourceIsFolder) return ReplaceOtherKind(source, target, true);
      break;
    case EntryKind::File:
      // Windows refuses to delete a read-only file, so it is not replaced either.
      if ((to->Status().st_mode & S_IWUSR) == 0) return false;
      [[fallthrough]];
    case EntryKind::Link:
    case EntryKind::Other:
      if (sourceIsFolder) return ReplaceOtherKind(source, target, false);
      break;
  }
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  if (errno == EXDEV && from->Kind() == EntryKind::File) return CopyAcross(*from, source, target);
  return false;
}

bool RenameToNewName(const std::string& source, const std::string& target, std::string& reason,
                     bool& existed) {
  existed = false;
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  existed = errno == EEXIST;
  reason = std::generic_category().message(errno);
  return false;
}

}  // namespace orvo::platform
