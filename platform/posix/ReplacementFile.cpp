#include "platform/ReplacementFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "platform/FileSystem.h"

namespace orvo::platform {

std::optional<ReplacementFile> ReplacementFile::Open(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  if (slash == std::string::npos || slash + 1 == target.size()) return std::nullopt;
  const std::string folder = slash == 0 ? std::string("/") : target.substr(0, slash);
  if (!IsFolder(folder)) return std::nullopt;
  auto hold = ExclusiveUse::Claim(target);
  if (!hold) return std::nullopt;
  std::optional<mode_t> mode;
  switch (hold->Kind()) {
    case EntryKind::Missing:
      break;
    case EntryKind::File: {
      const struct stat& old = hold->Status();
      const bool hidden = target[slash + 1] == '.';
      if (hidden || (old.st_mode & S_IWUSR) == 0 || hold->OpenFile() == nullptr ||
          ::access(target.c_str(), W_OK) != 0) {
        return std::nullopt;
      }
      mode = old.st_mode;
      break;
    }
    default:
      return std::nullopt;
  }
  try {
    PendingFile pending = PendingFile::CreateBeside(target, kUploadPrefix, mode);
    if (mode) {
      // Only a privileged server can give the file back to its owner. A change of owner drops
      // the set-id bits, so the mode goes on again afterwards.
      const int fd = pending.Content().Native();
      if (::fchown(fd, hold->Status().st_uid, hold->Status().st_gid) == 0)
        ::fchmod(fd, *mode & 07777);
    }
    return ReplacementFile(std::move(*hold), std::move(pending));
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

// The claim stays until the new content is in place, so no other command slips in between.
void ReplacementFile::Commit() {
  pending_.Commit();
}

}  // namespace orvo::platform
