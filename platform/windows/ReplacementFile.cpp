#include "platform/ReplacementFile.h"

#include <windows.h>

#include <system_error>

#include "platform/ResolvePath.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {

std::optional<ReplacementFile> ReplacementFile::Open(const std::string& target) {
  const std::size_t cut = target.find_last_of('\\');
  if (cut == std::string::npos || cut + 1 == target.size()) return std::nullopt;
  const DWORD folder = GetFileAttributesW(Wide(ParentFolder(target)).c_str());
  if (folder == INVALID_FILE_ATTRIBUTES || (folder & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return std::nullopt;

  ExclusiveUse hold;
  const std::wstring wide = Wide(target);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    // What CreateFileW(CREATE_ALWAYS) refuses, and links, whose target would be written instead.
    constexpr DWORD kRefused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                               FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM;
    if ((attributes & kRefused) != 0) return std::nullopt;
    // Held for reading and writing without sharing, as the truncating open would: a file in use
    // or one this process may not write is refused here, before any byte of the upload is read.
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    hold.file_ = File(handle);
    hold.kind_ = EntryKind::File;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size)) return std::nullopt;
    hold.size_ = static_cast<uint64_t>(size.QuadPart);
  } else if (const DWORD error = GetLastError();
             error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
    return std::nullopt;
  }
  try {
    PendingFile pending = PendingFile::CreateBeside(target, kUploadPrefix, std::nullopt);
    return ReplacementFile(std::move(hold), std::move(pending));
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

void ReplacementFile::Commit() {
  // The move over the target fails while any handle holds it, this one included.
  hold_.file_.Close();
  pending_.Commit();
}

}  // namespace orvo::platform
