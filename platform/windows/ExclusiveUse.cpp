#include "platform/ExclusiveUse.h"

#include <windows.h>

#include "platform/windows/WideText.h"

namespace orvo::platform {

std::optional<ExclusiveUse> ExclusiveUse::Claim(const std::string& path, Sharing sharing) {
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
  // While this handle is open every open it does not share, and every replacement or deletion of
  // the file, fails; an open elsewhere that does not share reading makes this one fail.
  const DWORD share = sharing == Sharing::Readers ? FILE_SHARE_READ : 0;
  const HANDLE handle = CreateFileW(
      wide.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
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
