#include "pack/FolderWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/CodePage.h"
#include "platform/posix/DescribeAt.h"

namespace orvo::pack {
namespace {

struct CloseDir {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

std::optional<std::string> RealPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                         &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

}  // namespace

FolderWalk::FolderWalk(std::string root, std::optional<FileIdentity> leaveOut)
    : root_(std::move(root)), leaveOut_(leaveOut) {
  realRoot_ = RealPath(root_).value_or(root_);
  Enter(root_, "", false);
}

bool FolderWalk::InsideTree(const std::string& path) const {
  const std::optional<std::string> real = RealPath(path);
  if (!real) return false;
  if (realRoot_ == "/" || *real == realRoot_) return true;
  return real->size() > realRoot_.size() && real->compare(0, realRoot_.size(), realRoot_) == 0 &&
         (*real)[realRoot_.size()] == '/';
}

void FolderWalk::Enter(std::string path, std::string prefix, bool viaLink) {
  // A link into the tree leads to a folder that is (or was) packed under its own name; following
  // it would pack that folder twice or, for a link to a folder above, without end.
  if (viaLink && InsideTree(path)) return;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // an unreadable folder lists nothing, as a failed find would
  const std::unique_ptr<DIR, CloseDir> dir(::fdopendir(fd));
  if (!dir) {
    ::close(fd);
    return;
  }
  struct stat folderStatus {};
  if (::fstat(fd, &folderStatus) != 0 ||
      !entered_.insert({folderStatus.st_dev, folderStatus.st_ino}).second) {
    return;
  }
  Frame frame;
  frame.path = std::move(path);
  frame.prefix = std::move(prefix);
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::optional<platform::FindData> data = platform::DescribeAt(fd, entry->d_name, name);
    if (!data) continue;  // gone since the folder was read
    if (data->IsFolder()) {
      frame.subfolders.push_back({name, data->IsLink()});
      continue;
    }
    if (leaveOut_) {
      struct stat target {};
      if (::fstatat(fd, entry->d_name, &target, 0) == 0 &&
          FileIdentity{target.st_dev, target.st_ino} == *leaveOut_) {
        continue;
      }
    }
    frame.files.push_back(std::move(*data));
  }
  stack_.push_back(std::move(frame));
}

std::optional<TreeFile> FolderWalk::Next() {
  while (!stack_.empty()) {
    Frame& frame = stack_.back();
    if (frame.nextFile < frame.files.size()) {
      platform::FindData& data = frame.files[frame.nextFile++];
      TreeFile file;
      file.relativePath = frame.prefix + data.name;
      file.fullPath = Join(frame.path, data.name);
      file.entryName = platform::SanitizeUtf8(file.relativePath);
      // A backslash separates folder levels in the clients' paths; in the archive '/' does.
      std::replace(file.entryName.begin(), file.entryName.end(), '\\', '/');
      file.data = std::move(data);
      return file;
    }
    if (frame.nextSubfolder < frame.subfolders.size()) {
      const Subfolder& sub = frame.subfolders[frame.nextSubfolder++];
      // Enter may grow the stack, which moves `frame`: copy what it needs first.
      std::string path = Join(frame.path, sub.name);
      std::string prefix = frame.prefix + sub.name + "/";
      Enter(std::move(path), std::move(prefix), sub.link);
      continue;
    }
    stack_.pop_back();
  }
  return std::nullopt;
}

}  // namespace orvo::pack
