// Holds one path without sharing for the length of one file command, the way a Windows handle
// opened without sharing does: other commands of this process (through ShareRegistry) and other
// processes that lock (through flock) cannot use it meanwhile. Owned by one thread; released by
// the destructor on every path.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform/File.h"
#include "platform/posix/ShareRegistry.h"

namespace orvo::platform {

enum class EntryKind { Missing, File, Folder, Link, Other };

class ExclusiveUse {
 public:
  // Claims `path` (resolved, absolute; a link there is not followed). A plain file is opened for
  // reading, when the process may read it, and locked; a folder is claimed with everything in
  // it. nullopt when anything of it is in use or the path cannot be examined.
  static std::optional<ExclusiveUse> Claim(const std::string& path);

  EntryKind Kind() const { return kind_; }
  // The entry's own status (zeroes when missing).
  const struct stat& Status() const { return status_; }
  // The locked file positioned at its start; nullptr unless a readable plain file is there.
  platform::File* OpenFile() { return file_.IsOpen() ? &file_ : nullptr; }

 private:
  ExclusiveUse() = default;

  EntryKind kind_ = EntryKind::Missing;
  struct stat status_ {};
  ShareRegistry::Claim claim_;
  platform::File file_;  // after claim_, so the lock goes before the claim
};

}  // namespace orvo::platform
