#include "platform/FileSystem.h"

#include <windows.h>

#include <system_error>
#include <vector>

#include "platform/PathSyntax.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

DWORD AttributesOf(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str());
}

// Where the levels below the root begin: after "C:\" or after "\\server\share\".
std::size_t FirstLevel(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && IsPathSeparator(path[2])) return 3;
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    std::size_t at = 2;
    for (int part = 0; part < 2 && at != std::string::npos; ++part) {
      at = path.find_first_of("\\/", at);
      if (at != std::string::npos) ++at;
    }
    return at == std::string::npos ? path.size() : at;
  }
  return 0;
}

}  // namespace

bool Exists(const std::string& path) {
  return AttributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Windows itself refuses a read-only file, a folder and a file that any handle holds without
// sharing deletion.
bool RemoveFile(const std::string& path) {
  return DeleteFileW(Wide(path).c_str()) != 0;
}

bool RemoveEmptyFolder(const std::string& path) {
  return RemoveDirectoryW(Wide(path).c_str()) != 0;
}

bool MakeFolder(const std::string& path) {
  return CreateDirectoryW(Wide(path).c_str(), nullptr) != 0;
}

bool CreateFolderPath(const std::string& path) {
  if (path.empty()) return false;
  // Level by level from the top, so that a level someone else makes meanwhile is no failure.
  for (std::size_t end = path.find_first_of("\\/", FirstLevel(path)); end != std::string::npos;
       end = path.find_first_of("\\/", end + 1)) {
    const std::string level = path.substr(0, end);
    if (IsPathSeparator(level.back())) continue;
    if (!MakeFolder(level) && !IsFolder(level)) return false;
  }
  return MakeFolder(path) || IsFolder(path);
}

void CreateNewEmptyFile(const std::string& path) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot create " + path);
  }
  CloseHandle(file);
}

std::string ExecutableDir() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                              "GetModuleFileNameW");
    }
    // A full buffer may have cut the path short.
    if (n < buffer.size()) {
      const std::wstring exe(buffer.data(), n);
      return Narrow(exe.substr(0, exe.rfind(L'\\') + 1));
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace orvo::platform
