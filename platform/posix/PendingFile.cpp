#include "platform/PendingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace orvo::platform {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PendingFile PendingFile::CreateBeside(const std::string& target, std::string_view prefix,
                                      std::optional<FilePermissions> permissions) {
  constexpr int kAttempts = 16;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string temporary = NameBeside(target, prefix);
    const int fd =
        ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      Fail("create temporary file");
    }
    PendingFile pending(target, std::move(temporary), File(fd));
    if (permissions && ::fchmod(fd, static_cast<mode_t>(*permissions & 07777)) != 0) Fail("fchmod");
    return pending;
  }
  errno = EEXIST;
  Fail("create temporary file");
}

PendingFile::~PendingFile() {
  file_.Close();
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void PendingFile::Commit() {
  // Flushing costs a disk round trip per upload; it is only worth it where a power cut between
  // the rename and the write-back could otherwise leave an empty file in place of a good one.
  // A new name has no good content to lose.
  struct stat existing {};
  if (::lstat(target_.c_str(), &existing) == 0) file_.Sync();
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) Fail("rename");
  temporary_.clear();
  file_.Close();
}

}  // namespace orvo::platform
