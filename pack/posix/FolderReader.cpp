#include "pack/FolderReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/posix/DescribeAt.h"

namespace orvo::pack {

struct FolderReader::State {
  DIR* dir = nullptr;  // owns the descriptor below
  int fd = -1;
  FileIdentity identity;
};

FolderReader::FolderReader(const std::string& path) : state_(std::make_unique<State>()) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // an unreadable folder lists nothing, as a failed find would
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return;
  }
  // Without its identity a folder could be entered twice through links, so it is not entered.
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    ::closedir(dir);
    return;
  }
  state_->dir = dir;
  state_->fd = fd;
  state_->identity = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
}

FolderReader::~FolderReader() {
  if (state_->dir != nullptr) ::closedir(state_->dir);
}

bool FolderReader::IsOpen() const {
  return state_->dir != nullptr;
}

std::optional<FileIdentity> FolderReader::Identity() const {
  if (!IsOpen()) return std::nullopt;
  return state_->identity;
}

std::optional<FolderEntry> FolderReader::Next() {
  if (!IsOpen()) return std::nullopt;
  while (const dirent* entry = ::readdir(state_->dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::optional<platform::FindData> data =
        platform::DescribeAt(state_->fd, entry->d_name, std::move(name));
    if (!data) continue;  // gone since the folder was read
    FolderEntry result;
    result.folderLink = data->IsFolder() && data->IsLink();
    result.data = std::move(*data);
    return result;
  }
  return std::nullopt;
}

bool FolderReader::Is(const FolderEntry& entry, const LeaveOut& leaveOut) const {
  // By identity, links followed: the archive may be reached under any name.
  struct stat target {};
  return ::fstatat(state_->fd, entry.data.name.c_str(), &target, 0) == 0 &&
         FileIdentity{static_cast<uint64_t>(target.st_dev), static_cast<uint64_t>(target.st_ino)} ==
             leaveOut.identity;
}

std::optional<std::string> RealPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                         &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

}  // namespace orvo::pack
