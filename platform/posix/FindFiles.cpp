#include "platform/FindFiles.h"

#include <dirent.h>
#include <fcntl.h>

#include <memory>

#include "platform/FindPattern.h"
#include "platform/posix/DescribeAt.h"

namespace orvo::platform {
namespace {

struct CloseDir {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

std::vector<FindData> FindMatching(const std::string& folder, std::string_view pattern) {
  std::vector<FindData> found;
  const FindPattern compiled(pattern);
  if (!compiled.CanMatch()) return found;
  const std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.c_str()));
  if (!dir) return found;
  const int fd = ::dirfd(dir.get());
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == ".." || !compiled.Matches(name)) continue;
    // An entry removed since the folder was read is simply not listed.
    if (auto data = DescribeAt(fd, entry->d_name, std::string(name))) found.push_back(*data);
  }
  return found;
}

std::optional<FindData> DescribeEntry(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return std::nullopt;
  return DescribeAt(AT_FDCWD, path.c_str(), std::move(name));
}

}  // namespace orvo::platform
