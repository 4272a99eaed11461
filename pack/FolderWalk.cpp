#include "pack/FolderWalk.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "platform/PathSyntax.h"

namespace orvo::pack {

FolderWalk::FolderWalk(std::string root, std::optional<LeaveOut> leaveOut, bool confined)
    : root_(std::move(root)), leaveOut_(std::move(leaveOut)), confined_(confined) {
  realRoot_ = RealPath(root_).value_or(root_);
  Enter(root_, "", false);
}

bool FolderWalk::InsideTree(const std::string& path) const {
  const std::optional<std::string> real = RealPath(path);
  if (!real) return false;
  if (platform::IsRootPath(realRoot_) || *real == realRoot_) return true;
  return real->size() > realRoot_.size() && real->compare(0, realRoot_.size(), realRoot_) == 0 &&
         platform::IsPathSeparator((*real)[realRoot_.size()]);
}

void FolderWalk::Enter(std::string path, std::string prefix, bool viaLink) {
  // A link into the tree leads to a folder that is (or was) packed under its own name; following
  // it would pack that folder twice or, for a link to a folder above, without end.
  if (viaLink && InsideTree(path)) return;
  FolderReader reader(path);
  if (!reader.IsOpen()) {
    // An unreadable folder lists nothing, as a failed find would.
    unreadable_.push_back(std::move(path));
    return;
  }
  if (const std::optional<FileIdentity> identity = reader.Identity()) {
    if (!entered_.insert(*identity).second) return;
  }
  Frame frame;
  frame.path = std::move(path);
  frame.prefix = std::move(prefix);
  while (std::optional<FolderEntry> entry = reader.Next()) {
    if (entry->data.IsFolder()) {
      // A folder link is followed only out of the tree (see Enter): confined, never.
      if (!(confined_ && entry->folderLink)) {
        frame.subfolders.push_back({entry->data.name, entry->folderLink});
      }
      continue;
    }
    if (confined_ && entry->data.IsLink() &&
        !InsideTree(platform::JoinPath(frame.path, entry->data.name))) {
      continue;
    }
    if (leaveOut_ && reader.Is(*entry, *leaveOut_)) continue;
    frame.files.push_back(std::move(entry->data));
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
      file.fullPath = platform::JoinPath(frame.path, data.name);
      file.entryName = platform::SanitizeUtf8(file.relativePath);
      // A backslash separates folder levels in the clients' paths; in the archive '/' does.
      std::replace(file.entryName.begin(), file.entryName.end(), '\\', '/');
      file.data = std::move(data);
      return file;
    }
    if (frame.nextSubfolder < frame.subfolders.size()) {
      const Subfolder& sub = frame.subfolders[frame.nextSubfolder++];
      // Enter may grow the stack, which moves `frame`: copy what it needs first.
      std::string path = platform::JoinPath(frame.path, sub.name);
      std::string prefix = frame.prefix + sub.name + platform::kPathSeparator;
      Enter(std::move(path), std::move(prefix), sub.link);
      continue;
    }
    stack_.pop_back();
  }
  return std::nullopt;
}

}  // namespace orvo::pack
