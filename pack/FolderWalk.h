// The files of a folder tree in the order the archive takes them: the plain files of a folder as
// the file system lists them, then each subfolder the same way, depth first. Folder links are
// followed, but every folder is entered at most once and a link that leads back into the tree is
// not followed (its folder is packed under its own name), so no link can make the walk endless.
// Hosts that follow no folder links (Windows: junctions and symbolic links are left out) need none
// of that. One file can be left out: the archive being written. One thread; raises nothing.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pack/FolderReader.h"
#include "platform/FindData.h"

namespace orvo::pack {

struct TreeFile {
  std::string fullPath;      // the path to open: the root, a separator, the relative path
  std::string relativePath;  // with the host's separator between folder levels
  std::string entryName;     // the relative path as valid UTF-8 (bad bytes become U+FFFD)
  platform::FindData data;   // attributes and last-write time, from the listing
};

class FolderWalk {
 public:
  // `root` is an existing folder without a trailing separator (a root such as "/" allowed).
  // `confined`: links that lead out of the tree are left out, files and folders alike.
  FolderWalk(std::string root, std::optional<LeaveOut> leaveOut, bool confined = false);

  // The next file, or nullopt at the end of the tree.
  std::optional<TreeFile> Next();
  // The folders met so far that could not be listed (the root among them), whose files are
  // missing from the walk.
  const std::vector<std::string>& UnreadableFolders() const { return unreadable_; }

 private:
  struct Subfolder {
    std::string name;
    bool link = false;
  };
  struct Frame {
    std::string path;    // full path, no trailing separator but for a root
    std::string prefix;  // relative path of the folder plus a separator, empty for the root
    std::vector<platform::FindData> files;
    std::vector<Subfolder> subfolders;
    std::size_t nextFile = 0;
    std::size_t nextSubfolder = 0;
  };

  // Lists the folder at `path` into a new frame unless it was entered before or is a link back
  // into the tree.
  void Enter(std::string path, std::string prefix, bool viaLink);
  bool InsideTree(const std::string& path) const;

  std::string root_;
  std::string realRoot_;
  std::optional<LeaveOut> leaveOut_;
  bool confined_ = false;
  std::vector<Frame> stack_;
  std::set<FileIdentity> entered_;
  std::vector<std::string> unreadable_;
};

}  // namespace orvo::pack
