#include "platform/MoveEntry.h"

#include <windows.h>

#include <system_error>

#include "platform/PendingFile.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

bool IsFolder(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A file to a free name or over a file, also onto another volume. There the file is copied beside
// the target first and then takes its place, so a broken copy never costs the target.
bool MoveOneFile(const std::wstring& source, const std::wstring& target,
                 const std::string& targetText) {
  if (MoveFileExW(source.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  if (GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
  const std::wstring copy = Wide(NameBeside(targetText, ".orvo-move-"));
  // The copy opens the source sharing reading only: a source in use elsewhere fails here.
  if (!CopyFileExW(source.c_str(), copy.c_str(), nullptr, nullptr, nullptr,
                   COPY_FILE_FAIL_IF_EXISTS)) {
    DeleteFileW(copy.c_str());
    return false;
  }
  SetFileAttributesW(copy.c_str(), GetFileAttributesW(copy.c_str()) & ~FILE_ATTRIBUTE_READONLY);
  if (!MoveFileExW(copy.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(copy.c_str());
    return false;
  }
  // The copy is in place; a source that cannot be deleted stays as a second copy.
  DeleteFileW(source.c_str());
  return true;
}

bool MoveAny(const std::wstring& source, DWORD sourceAttributes, const std::wstring& target,
             const std::string& targetText) {
  return IsFolder(sourceAttributes) ? MoveFileExW(source.c_str(), target.c_str(), 0) != 0
                                    : MoveOneFile(source, target, targetText);
}

}  // namespace

bool MoveEntry(const std::string& source, const std::string& target) {
  const std::wstring from = Wide(source);
  const std::wstring to = Wide(target);
  const DWORD sourceAttributes = GetFileAttributesW(from.c_str());
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES) return false;
  if (source == target) return true;
  // The same entry under another case of its name: a rename, nothing is replaced.
  if (CompareStringOrdinal(from.c_str(), -1, to.c_str(), -1, TRUE) == CSTR_EQUAL)
    return MoveFileExW(from.c_str(), to.c_str(), 0) != 0;
  const DWORD targetAttributes = GetFileAttributesW(to.c_str());
  if (targetAttributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    return MoveAny(from, sourceAttributes, to, target);
  }
  // A link there cannot be put back once removed.
  if ((targetAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return false;

  if (IsFolder(targetAttributes)) {
    // Only an empty folder goes, and it comes back when the move then fails.
    if (!RemoveDirectoryW(to.c_str())) return false;
    if (MoveAny(from, sourceAttributes, to, target)) return true;
    CreateDirectoryW(to.c_str(), nullptr);
    SetFileAttributesW(to.c_str(), targetAttributes);
    return false;
  }
  // Windows does not delete a read-only file, so it is not replaced either.
  if ((targetAttributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
  if (!IsFolder(sourceAttributes)) return MoveOneFile(from, to, target);

  // A folder onto a file: the file steps aside and comes back when the move fails.
  const std::wstring aside = Wide(NameBeside(target, ".orvo-move-"));
  if (!MoveFileExW(to.c_str(), aside.c_str(), 0)) return false;
  if (MoveFileExW(from.c_str(), to.c_str(), 0)) {
    DeleteFileW(aside.c_str());
    return true;
  }
  MoveFileExW(aside.c_str(), to.c_str(), 0);
  return false;
}

bool RenameToNewName(const std::string& source, const std::string& target, std::string& reason,
                     bool& existed) {
  existed = false;
  // Without MOVEFILE_REPLACE_EXISTING the move fails on any entry at the target, folder or file.
  if (MoveFileExW(Wide(source).c_str(), Wide(target).c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  const DWORD error = GetLastError();
  existed = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
  reason = std::system_category().message(static_cast<int>(error));
  return false;
}

}  // namespace orvo::platform
