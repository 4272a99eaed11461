#include "pack/HostFiles.h"

#include <windows.h>

#include <atomic>
#include <cwctype>

#include "pack/windows/WindowsFiles.h"
#include "platform/PathSyntax.h"
#include "platform/windows/WideText.h"

namespace orvo::pack::host {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

bool IdentityOf(HANDLE handle, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  identity.device = info.dwVolumeSerialNumber;
  identity.inode = uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  return true;
}

bool IsDriveAbsolute(std::string_view path) {
  return path.size() >= 3 && path[1] == ':' && path[2] == '\\';
}

}  // namespace

std::wstring LongPath(const std::string& path) {
  const std::wstring wide = platform::Wide(path);
  if (wide.size() < MAX_PATH - 12 || path.find('/') != std::string::npos) return wide;
  if (IsDriveAbsolute(path)) return L"\\\\?\\" + wide;
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '?' && path[2] != '.') {
    return L"\\\\?\\UNC\\" + wide.substr(2);
  }
  return wide;
}

std::string WindowsErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
  LocalFree(buffer);
  while (!text.empty() &&
         (std::iswspace(text.back()) || text.back() == L'.' || text.back() == L'\x3002')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(code) : platform::Narrow(text);
}

std::string ErrorText(const std::error_code& code) {
  if (code.category() == std::system_category()) {
    return WindowsErrorText(static_cast<DWORD>(code.value()));
  }
  return code.message();
}

std::error_code FolderError(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return {static_cast<int>(GetLastError()), std::system_category()};
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
             ? std::error_code()
             : std::error_code(ERROR_DIRECTORY, std::system_category());
}

platform::File OpenToRead(const std::string& path, uint64_t& size, std::string& reason) {
  // Shared for reading only: a file someone is writing cannot be opened, and no one can start
  // writing it while it is packed.
  const HANDLE handle = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = WindowsErrorText(GetLastError());
    return {};
  }
  platform::File input(handle);
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    reason = "Not a regular file";
    return {};
  }
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(handle, &length)) {
    reason = WindowsErrorText(GetLastError());
    return {};
  }
  size = static_cast<uint64_t>(length.QuadPart);
  return input;
}

platform::File OpenTemporary(const std::string& folder) {
  // A name of this process's own, made anew when a file of that name is left from elsewhere. The
  // system deletes the file when its handle closes, also when the process ends without closing.
  static std::atomic<uint32_t> counter{0};
  const std::wstring base = platform::Wide(platform::JoinPath(folder, "")) +
                            std::wstring(kTemporaryPrefix) +
                            std::to_wstring(GetCurrentProcessId()) + L"-";
  for (int attempt = 0;; ++attempt) {
    const std::wstring name = base + std::to_wstring(counter.fetch_add(1)) + L".tmp";
    const HANDLE handle = CreateFileW(
        LongPath(platform::Narrow(name)).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
        CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
        nullptr);
    if (handle != INVALID_HANDLE_VALUE) return platform::File(handle);
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100) {
      SetLastError(error);
      Fail("temporary file");
    }
  }
}

void Rewind(platform::File& file) {
  if (!SetFilePointerEx(file.Native(), LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
    Fail("SetFilePointerEx");
  }
}

ExclusiveFile CreateExclusive(const std::string& path) {
  ExclusiveFile result;
  // No sharing: the open fails while anyone else has the file open, and once it succeeds no one
  // else can open it. Opened rather than truncated in one go, so that a file held elsewhere stays
  // as it was; DELETE lets Discard remove exactly this file.
  const HANDLE handle = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    result.reason = WindowsErrorText(GetLastError());
    return result;
  }
  platform::File file(handle);
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    result.reason = "Not a regular file";
    return result;
  }
  if (!IdentityOf(handle, result.identity) || !SetEndOfFile(handle)) {
    result.reason = WindowsErrorText(GetLastError());
    return result;
  }
  result.file = std::move(file);
  return result;
}

uint64_t CopyDirect(platform::File&, platform::File&, uint64_t) {
  return 0;  // no copy between two handles inside the system: the caller's loop does it all
}

void CutAt(platform::File& file, uint64_t size) {
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(file.Native(), to, nullptr, FILE_BEGIN)) Fail("SetFilePointerEx");
  if (!SetEndOfFile(file.Native())) Fail("SetEndOfFile");
}

void Discard(platform::File& file, const std::string& path, const FileIdentity& identity) {
  // Marked for deletion through its own handle, the file that goes is surely this one.
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  const bool marked =
      file.IsOpen() && SetFileInformationByHandle(file.Native(), FileDispositionInfo, &disposition,
                                                  sizeof disposition);
  file.Close();
  if (marked) return;
  const std::wstring wide = LongPath(path);
  const HANDLE handle = CreateFileW(
      wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  FileIdentity found;
  const bool same = IdentityOf(handle, found) && found == identity;
  CloseHandle(handle);
  if (same) DeleteFileW(wide.c_str());
}

bool IsSameFile(const std::string& path, const FileIdentity& identity) {
  // No access asked for, so no sharing mode stands in the way (the archive is held unshared).
  const HANDLE handle =
      CreateFileW(LongPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FileIdentity found;
  const bool same = IdentityOf(handle, found) && found == identity;
  CloseHandle(handle);
  return same;
}

bool ToLocalTime(std::time_t seconds, std::tm& local) {
  return localtime_s(&local, &seconds) == 0;
}

}  // namespace orvo::pack::host
