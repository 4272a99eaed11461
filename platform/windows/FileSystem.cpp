#include <windows.h>

#include <stdexcept>
#include <system_error>

#include "platform/FileSystem.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {
bool Exists(const std::string&) { return false; }
bool IsFolder(const std::string&) { return false; }
bool IsFile(const std::string&) { return false; }
bool RemoveFile(const std::string&) { return false; }
bool RemoveEmptyFolder(const std::string&) { return false; }
bool MakeFolder(const std::string&) { return false; }
bool CreateFolderPath(const std::string&) { return false; }
void CreateNewEmptyFile(const std::string& path) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot create " + path);
  }
  CloseHandle(file);
}
std::string ExecutableDir() { throw std::runtime_error("not available on Windows yet"); }
}  // namespace orvo::platform
