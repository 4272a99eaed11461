#include "platform/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <system_error>
#include <vector>

#include "platform/ExclusiveUse.h"

namespace orvo::platform {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const std::string& path) {
  const auto use = ExclusiveUse::Claim(path);
  if (!use) return false;
  switch (use->Kind()) {
    case EntryKind::Missing:
    case EntryKind::Folder:
      return false;
    case EntryKind::File:
      if ((use->Status().st_mode & S_IWUSR) == 0) return false;
      break;
    case EntryKind::Link:
    case EntryKind::Other:
      break;
  }
  return ::unlink(path.c_str()) == 0;
}

bool RemoveEmptyFolder(const std::string& path) {
  const auto use = ExclusiveUse::Claim(path);
  return use && use->Kind() == EntryKind::Folder && ::rmdir(path.c_str()) == 0;
}

bool MakeFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool CreateFolderPath(const std::string& path) {
  if (path.empty()) return false;
  // Level by level from the top, so that a level someone else makes meanwhile is no failure.
  for (std::size_t end = path.find('/', 1); end != std::string::npos;
       end = path.find('/', end + 1)) {
    const std::string level = path.substr(0, end);
    if (level.back() != '/' && ::mkdir(level.c_str(), 0777) != 0 && !IsFolder(level)) return false;
  }
  return ::mkdir(path.c_str(), 0777) == 0 || IsFolder(path);
}

void CreateNewEmptyFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot create " + path);
  ::close(fd);
}

std::string ExecutableDir() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) throw std::system_error(errno, std::generic_category(), "readlink /proc/self/exe");
    if (static_cast<std::size_t>(n) < buffer.size()) {
      const std::string exe(buffer.data(), static_cast<std::size_t>(n));
      return exe.substr(0, exe.rfind('/') + 1);
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace orvo::platform
