#include "platform/ExclusiveUse.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace orvo::platform {
namespace {

EntryKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::File;
  if (S_ISDIR(mode)) return EntryKind::Folder;
  if (S_ISLNK(mode)) return EntryKind::Link;
  return EntryKind::Other;
}

}  // namespace

std::optional<ExclusiveUse> ExclusiveUse::Claim(const std::string& path, Sharing sharing) {
  ExclusiveUse use;
  const bool forReading = sharing == Sharing::Readers;
  ClaimTarget target{std::nullopt, path, false, forReading};
  if (::lstat(path.c_str(), &use.status_) != 0) {
    if (errno != ENOENT) return std::nullopt;
    use.status_ = {};
  } else {
    use.kind_ = KindOf(use.status_.st_mode);
    target.wholeTree = use.kind_ == EntryKind::Folder;
    if (use.kind_ == EntryKind::File) use.size_ = static_cast<uint64_t>(use.status_.st_size);
  }
  if (use.kind_ == EntryKind::File) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      use.file_ = platform::File(fd);
      struct stat opened {};
      // The name may have been given to another file between the two looks.
      if (::fstat(fd, &opened) != 0 || opened.st_dev != use.status_.st_dev ||
          opened.st_ino != use.status_.st_ino) {
        return std::nullopt;
      }
    } else if (errno != EACCES && errno != EPERM) {
      return std::nullopt;
    }
  }
  if (use.kind_ != EntryKind::Missing) target.key = FileKey{use.status_.st_dev, use.status_.st_ino};
  auto claim = ShareRegistry::Process().TryClaim(std::move(target));
  if (!claim) return std::nullopt;
  use.claim_ = std::move(*claim);
  if (use.file_.IsOpen() &&
      ::flock(use.file_.Native(), (forReading ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    return std::nullopt;
  }
  return use;
}

}  // namespace orvo::platform
