#include "pack/ZipArchive.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace orvo::pack {
namespace {

constexpr std::size_t kCopyBytes = 1u << 20;
// Entries this small go out with their header in one write.
constexpr std::size_t kJoinedWriteBytes = 64u << 10;

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

ZipArchive::CreateOutcome Refused(std::string reason) {
  ZipArchive::CreateOutcome outcome;
  outcome.reason = std::move(reason);
  return outcome;
}

}  // namespace

ZipArchive::CreateOutcome ZipArchive::Create(const std::string& path, ZipLimits limits) {
  // Not truncated on opening: a file another holder has locked must be left as it is. Non-blocking
  // so that a named pipe at the path fails instead of waiting for a reader.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0) return Refused(std::strerror(errno));
  platform::File file(fd);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return Refused("The file is being used by another process");
    return Refused(std::strerror(errno));
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0) return Refused(std::strerror(errno));
  if (!S_ISREG(status.st_mode)) return Refused("Not a regular file");
  if (::ftruncate(fd, 0) != 0) return Refused(std::strerror(errno));
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  CreateOutcome outcome;
  outcome.archive = ZipArchive(std::move(file), {status.st_dev, status.st_ino}, limits);
  return outcome;
}

void ZipArchive::Write(const char* data, std::size_t size) {
  file_.WriteAll(data, size);
  position_ += size;
}

void ZipArchive::CopySpill(platform::File& spill, uint64_t size) {
  // Both files lie in the same folder, so the kernel can usually copy without a trip through
  // user space; where it cannot, a plain read and write loop does the same.
  while (size > 0) {
    const ssize_t n =
        ::copy_file_range(spill.Native(), nullptr, file_.Native(), nullptr,
                          static_cast<std::size_t>(std::min<uint64_t>(size, 1u << 30)), 0);
    if (n > 0) {
      size -= static_cast<uint64_t>(n);
      position_ += static_cast<uint64_t>(n);
      continue;
    }
    if (n == 0) {
      errno = EIO;  // the temporary file is shorter than the stream written into it
      Fail("copy");
    }
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) Fail("copy");
    std::string buffer(kCopyBytes, '\0');
    while (size > 0) {
      const std::size_t got = spill.Read(buffer.data(), std::min<uint64_t>(size, buffer.size()));
      if (got == 0) {
        errno = EIO;
        Fail("read");
      }
      Write(buffer.data(), got);
      size -= got;
    }
  }
}

void ZipArchive::Append(const TreeFile& file, CompressedFile& data) {
  EntryRecord entry;
  entry.name = file.entryName;
  const DosDateTime when = ToDosDateTime(file.data.lastWriteTime);
  entry.dosTime = when.time;
  entry.dosDate = when.date;
  entry.crc = data.crc;
  entry.compressedSize = data.compressedSize;
  entry.uncompressedSize = data.uncompressedSize;
  entry.localHeaderOffset = end_;
  entry.externalAttributes = file.data.attributes;

  std::string header = LocalHeader(entry, limits_);
  if (data.head.size() <= kJoinedWriteBytes) {
    header += data.head;
    Write(header.data(), header.size());
  } else {
    Write(header.data(), header.size());
    Write(data.head.data(), data.head.size());
  }
  if (data.spill.IsOpen()) CopySpill(data.spill, data.compressedSize - data.head.size());
  end_ = position_;
  entries_.push_back(std::move(entry));
}

void ZipArchive::Finish() {
  // Cut off whatever reached the file of an entry that failed (a write can fail half done): on a
  // full disk that gives back the room the directory needs.
  if (::ftruncate(file_.Native(), static_cast<off_t>(end_)) != 0) Fail("ftruncate");
  if (::lseek(file_.Native(), static_cast<off_t>(end_), SEEK_SET) < 0) Fail("lseek");
  position_ = end_;
  std::string directory;
  for (const EntryRecord& entry : entries_) directory += CentralRecord(entry, limits_);
  const uint64_t directorySize = directory.size();
  directory += EndRecords(entries_.size(), end_, directorySize, limits_);
  Write(directory.data(), directory.size());
  file_.Close();
}

}  // namespace orvo::pack
