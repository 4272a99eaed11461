#include "platform/File.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace orvo::platform {
namespace {
[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}
}  // namespace

std::size_t File::Read(char* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(handle_, data, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) Fail("read");
  }
}

void File::WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(handle_, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("write");
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

uint64_t File::Size() const {
  struct stat st {};
  if (::fstat(handle_, &st) != 0) Fail("fstat");
  return static_cast<uint64_t>(st.st_size);
}

void File::Resize(uint64_t size) {
  if (::ftruncate(handle_, static_cast<off_t>(size)) != 0) Fail("ftruncate");
}

void File::Seek(uint64_t offset) {
  if (::lseek(handle_, static_cast<off_t>(offset), SEEK_SET) < 0) Fail("lseek");
}

void File::Sync() {
  if (::fdatasync(handle_) != 0) Fail("fdatasync");
}

void File::Close() {
  if (handle_ != kInvalid) {
    ::close(handle_);
    handle_ = kInvalid;
  }
}

}  // namespace orvo::platform
