#include "pack/HostFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orvo::pack::host {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

FileIdentity IdentityOf(const struct stat& status) {
  return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

}  // namespace

std::string ErrorText(const std::error_code& code) {
  return std::strerror(code.value());
}

std::error_code FolderError(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return {errno, std::generic_category()};
  return S_ISDIR(status.st_mode) ? std::error_code()
                                 : std::make_error_code(std::errc::not_a_directory);
}

platform::File OpenToRead(const std::string& path, uint64_t& size, std::string& reason) {
  // Non-blocking, so that a named pipe in the tree cannot hold the packing up; a plain file reads
  // the same either way.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    reason = std::strerror(errno);
    return {};
  }
  platform::File input(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    reason = std::strerror(errno);
    return {};
  }
  if (S_ISDIR(status.st_mode)) {
    reason = std::strerror(EISDIR);
    return {};
  }
  if (!S_ISREG(status.st_mode)) {
    reason = "Not a regular file";
    return {};
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  size = static_cast<uint64_t>(status.st_size);
  return input;
}

platform::File OpenTemporary(const std::string& folder) {
  // An unnamed file, gone with its last descriptor; where the file system cannot make one, a
  // named file removed at once.
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    std::string name = folder + "/.orvo-pack-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  if (fd < 0) Fail("temporary file");
  return platform::File(fd);
}

void Rewind(platform::File& file) {
  if (::lseek(file.Native(), 0, SEEK_SET) != 0) Fail("lseek");
}

ExclusiveFile CreateExclusive(const std::string& path) {
  ExclusiveFile result;
  // Not truncated on opening: a file another holder has locked must be left as it is. Non-blocking
  // so that a named pipe at the path fails instead of waiting for a reader.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) {
    result.reason = std::strerror(errno);
    return result;
  }
  platform::File file(fd);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    result.reason =
        errno == EWOULDBLOCK ? "The file is being used by another process" : std::strerror(errno);
    return result;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    result.reason = std::strerror(errno);
    return result;
  }
  if (!S_ISREG(status.st_mode)) {
    result.reason = "Not a regular file";
    return result;
  }
  if (::ftruncate(fd, 0) != 0) {
    result.reason = std::strerror(errno);
    return result;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  result.file = std::move(file);
  result.identity = IdentityOf(status);
  return result;
}

uint64_t CopyDirect(platform::File& from, platform::File& to, uint64_t size) {
  // Both files lie in the same folder, so the kernel can usually copy without a trip through
  // user space; where it cannot, the caller's read and write loop does the rest.
  uint64_t copied = 0;
  while (copied < size) {
    const ssize_t n =
        ::copy_file_range(from.Native(), nullptr, to.Native(), nullptr,
                          static_cast<std::size_t>(std::min<uint64_t>(size - copied, 1u << 30)), 0);
    if (n > 0) {
      copied += static_cast<uint64_t>(n);
      continue;
    }
    if (n == 0) {
      errno = EIO;  // the temporary file is shorter than the stream written into it
      Fail("copy");
    }
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) Fail("copy");
    break;
  }
  return copied;
}

void CutAt(platform::File& file, uint64_t size) {
  if (::ftruncate(file.Native(), static_cast<off_t>(size)) != 0) Fail("ftruncate");
  if (::lseek(file.Native(), static_cast<off_t>(size), SEEK_SET) < 0) Fail("lseek");
}

void Discard(platform::File& file, const std::string& path, const FileIdentity& identity) {
  file.Close();
  struct stat status {};
  if (::lstat(path.c_str(), &status) == 0 && IdentityOf(status) == identity) {
    ::unlink(path.c_str());
  }
}

bool IsSameFile(const std::string& path, const FileIdentity& identity) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && IdentityOf(status) == identity;
}

bool ToLocalTime(std::time_t seconds, std::tm& local) {
  return ::localtime_r(&seconds, &local) != nullptr;
}

}  // namespace orvo::pack::host
