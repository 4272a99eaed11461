#include "platform/ExclusiveUse.h"

#include <windows.h>

#include "platform/windows/WideText.h"

namespace orvo::platform {

std::optional<ExclusiveUse> ExclusiveUse::Claim(const std::string& path) {
  ExclusiveUse use;
  const std::wstring wide = Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return use;
    return std::nullopt;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    use.kind_ = EntryKind::Link;
    return use;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    use.kind_ = EntryKind::Folder;
    return use;
  }
  // No sharing: while this handle is open every other open, replacement or deletion of the file
  // fails, and an open elsewhere makes this one fail.
  const HANDLE handle = CreateFileW(
      wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  use.file_ = File(handle);
  LARGE_INTEGER size{};
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) return std::nullopt;
  use.kind_ = EntryKind::File;
  use.size_ = static_cast<uint64_t>(size.QuadPart);
  return use;
}

}  // namespace orvo::platform
