#include "platform/posix/DescribeAt.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace orvo::platform {
namespace {

struct Stat {
  mode_t mode = 0;
  uint64_t size = 0;
  uint64_t birth = 0;
  uint64_t access = 0;
  uint64_t write = 0;
};

std::optional<Stat> ReadStat(int folderFd, const char* entry) {
  Stat s;
  struct statx sx {};
  if (::statx(folderFd, entry, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
    s.mode = sx.stx_mode;
    s.size = sx.stx_size;
    s.access = ToFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
    s.write = ToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
    s.birth = (sx.stx_mask & STATX_BTIME) ? ToFileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec)
                                          : s.write;
    return s;
  }
  if (errno != ENOSYS) return std::nullopt;
  struct stat st {};
  if (::fstatat(folderFd, entry, &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  s.mode = st.st_mode;
  s.size = static_cast<uint64_t>(st.st_size);
  s.access = ToFileTime(st.st_atim.tv_sec, static_cast<uint32_t>(st.st_atim.tv_nsec));
  s.write = ToFileTime(st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec));
  s.birth = s.write;
  return s;
}

bool LeadsToFolder(int folderFd, const char* entry) {
  struct stat target {};
  return ::fstatat(folderFd, entry, &target, 0) == 0 && S_ISDIR(target.st_mode);
}

}  // namespace

std::optional<FindData> DescribeAt(int folderFd, const char* entry, std::string name) {
  const std::optional<Stat> s = ReadStat(folderFd, entry);
  if (!s) return std::nullopt;
  FindData data;
  data.name = std::move(name);
  data.creationTime = s->birth;
  data.lastAccessTime = s->access;
  data.lastWriteTime = s->write;
  uint32_t bits = 0;
  if (S_ISLNK(s->mode)) {
    bits |= attr::kReparsePoint;
    data.reparseTag = kSymlinkReparseTag;
    if (LeadsToFolder(folderFd, entry)) bits |= attr::kFolder;
  } else {
    if (S_ISDIR(s->mode)) bits |= attr::kFolder;
    if (S_ISREG(s->mode)) {
      bits |= attr::kArchive;
      data.size = s->size;
    }
    if ((s->mode & S_IWUSR) == 0) bits |= attr::kReadOnly;
  }
  if (!data.name.empty() && data.name.front() == '.') bits |= attr::kHidden;
  data.attributes = bits == 0 ? attr::kNormal : bits;
  return data;
}

}  // namespace orvo::platform
