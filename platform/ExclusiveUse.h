// Holds one path for the length of one file command, the way a Windows handle does: alone (no
// sharing), or shared with other readers (a whole class downloading one handout). On Windows that
// is exactly what it is: any open of the file that the held handle does not share, in this or
// another program, fails with a sharing violation meanwhile. On Linux other commands of this
// process (through ShareRegistry) and other processes that lock (through flock, shared or
// exclusive) are kept out. Owned by one thread; released by the destructor on every path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/File.h"

#ifndef _WIN32
#include <sys/stat.h>

#include "platform/posix/ShareRegistry.h"
#endif

namespace orvo::platform {

enum class EntryKind { Missing, File, Folder, Link, Other };

// Whom a claim lets in beside itself: nobody, or other claims for reading.
enum class Sharing { None, Readers };

class ExclusiveUse {
 public:
  // Claims `path` (resolved, absolute; a link there is not followed). A plain file is opened for
  // reading (on Linux only when the process may read it) and held. On Linux a folder is claimed
  // with everything in it; on Windows the system's own rules guard folders. nullopt when anything
  // of it is in use (by a claim for reading too, unless both share with readers) or the path
  // cannot be examined.
  static std::optional<ExclusiveUse> Claim(const std::string& path,
                                           Sharing sharing = Sharing::None);

  EntryKind Kind() const { return kind_; }
  // The size of a plain file when it was claimed; 0 for anything else.
  uint64_t Size() const { return size_; }
  // The held file positioned at its start; nullptr unless a readable plain file is there.
  platform::File* OpenFile() { return file_.IsOpen() ? &file_ : nullptr; }

#ifndef _WIN32
  // The entry's own status (zeroes when missing).
  const struct stat& Status() const {
    return status_;
  }
#endif

 private:
  // An upload holds its target through a handle of its own making on Windows.
  friend class ReplacementFile;

  ExclusiveUse() = default;

  EntryKind kind_ = EntryKind::Missing;
  uint64_t size_ = 0;
#ifndef _WIN32
  struct stat status_ {};
  ShareRegistry::Claim claim_;
#endif
  platform::File file_;  // after claim_, so the lock goes before the claim
};

}  // namespace orvo::platform
