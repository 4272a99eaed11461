#include "platform/File.h"

#include <windows.h>

#include <algorithm>
#include <system_error>

namespace orvo::platform {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

// ReadFile and WriteFile take 32-bit counts.
constexpr std::size_t kMostPerCall = 1u << 30;

int64_t Position(HANDLE handle) {
  LARGE_INTEGER here{};
  if (!SetFilePointerEx(handle, LARGE_INTEGER{}, &here, FILE_CURRENT)) Fail("SetFilePointerEx");
  return here.QuadPart;
}

void SeekTo(HANDLE handle, int64_t offset) {
  LARGE_INTEGER to{};
  to.QuadPart = offset;
  if (!SetFilePointerEx(handle, to, nullptr, FILE_BEGIN)) Fail("SetFilePointerEx");
}

}  // namespace

std::size_t File::Read(char* data, std::size_t size) {
  DWORD got = 0;
  const auto want = static_cast<DWORD>(std::min(size, kMostPerCall));
  if (!ReadFile(handle_, data, want, &got, nullptr)) Fail("ReadFile");
  return got;
}

void File::WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    DWORD put = 0;
    const auto want = static_cast<DWORD>(std::min(size, kMostPerCall));
    if (!WriteFile(handle_, data, want, &put, nullptr)) Fail("WriteFile");
    if (put == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      Fail("WriteFile");
    }
    data += put;
    size -= put;
  }
}

uint64_t File::Size() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle_, &size)) Fail("GetFileSizeEx");
  return static_cast<uint64_t>(size.QuadPart);
}

void File::Seek(uint64_t offset) {
  SeekTo(handle_, static_cast<int64_t>(offset));
}

void File::Resize(uint64_t size) {
  // SetEndOfFile cuts or grows at the file pointer; the caller's position stays where it was.
  const int64_t here = Position(handle_);
  SeekTo(handle_, static_cast<int64_t>(size));
  const bool resized = SetEndOfFile(handle_) != 0;
  const DWORD error = GetLastError();
  SeekTo(handle_, here);
  if (!resized) {
    SetLastError(error);
    Fail("SetEndOfFile");
  }
}

void File::Sync() {
  if (!FlushFileBuffers(handle_)) Fail("FlushFileBuffers");
}

void File::Close() {
  if (handle_ != kInvalid) {
    CloseHandle(handle_);
    handle_ = kInvalid;
  }
}

}  // namespace orvo::platform
