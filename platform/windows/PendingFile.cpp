#include "platform/PendingFile.h"

#include <windows.h>

#include <system_error>
#include <utility>

#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

}  // namespace

PendingFile PendingFile::CreateBeside(const std::string& target, std::string_view prefix,
                                      std::optional<FilePermissions> /*permissions*/) {
  constexpr int kAttempts = 16;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string temporary = NameBeside(target, prefix);
    // Hidden from listings and held without sharing, so no one reads or takes a half-written
    // file.
    const HANDLE handle = CreateFileW(Wide(temporary).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      Fail("create temporary file");
    }
    return PendingFile(target, std::move(temporary), File(handle));
  }
  SetLastError(ERROR_FILE_EXISTS);
  Fail("create temporary file");
}

PendingFile::~PendingFile() {
  file_.Close();
  if (!temporary_.empty()) DeleteFileW(Wide(temporary_).c_str());
}

void PendingFile::Commit() {
  // The new file takes the target's place as a plain file, not a hidden one.
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  if (!SetFileInformationByHandle(file_.Native(), FileBasicInfo, &basic, sizeof basic))
    Fail("SetFileInformationByHandle");
  // Flushing costs a disk round trip; it is only worth it where a power cut after the move could
  // otherwise leave an empty file in place of a good one.
  const std::wstring target = Wide(target_);
  if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) file_.Sync();
  // The move needs the temporary free of this handle too.
  file_.Close();
  if (!MoveFileExW(Wide(temporary_).c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Fail("MoveFileExW");
  }
  temporary_.clear();
}

}  // namespace orvo::platform
