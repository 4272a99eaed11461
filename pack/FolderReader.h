// One folder's entries as the host lists them, for FolderWalk: in the file system's order, "."
// and ".." left out, entries that vanish while the folder is read skipped. One thread; raises
// nothing.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "pack/HostFiles.h"
#include "platform/FindData.h"

namespace orvo::pack {

struct FolderEntry {
  platform::FindData data;
  // A link to a folder that the walk may follow (once, and never back into the tree). Links a host
  // does not follow at all are not listed.
  bool folderLink = false;
};

// The file that must not go into the archive: the archive itself.
struct LeaveOut {
  std::string path;
  FileIdentity identity;
};

class FolderReader {
 public:
  // Opens the folder at `path`; IsOpen() is false when it cannot be read.
  explicit FolderReader(const std::string& path);
  ~FolderReader();
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;

  bool IsOpen() const;
  // The folder's own identity where the host can tell it; without one, a folder reached twice
  // cannot be recognised (the host then follows no links).
  std::optional<FileIdentity> Identity() const;
  // The next entry, or nullopt after the last.
  std::optional<FolderEntry> Next();
  // Whether the entry just returned by Next() is the file `leaveOut` names.
  bool Is(const FolderEntry& entry, const LeaveOut& leaveOut) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The canonical path of an existing folder: links resolved where the host follows them. nullopt
// when it cannot be worked out.
std::optional<std::string> RealPath(const std::string& path);

}  // namespace orvo::pack
