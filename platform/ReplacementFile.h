// The new content of one file during an upload: the target is held without sharing
// (ExclusiveUse) while the bytes go to a PendingFile beside it, which takes the target's place on
// Commit. Destroyed uncommitted, it leaves the target (or its absence) as it was. One thread.
#pragma once

#include <optional>
#include <string>

#include "platform/ExclusiveUse.h"
#include "platform/PendingFile.h"

namespace orvo::platform {

class ReplacementFile {
 public:
  // nullopt where Windows would refuse to create or truncate `target` (resolved, absolute): its
  // folder is missing, it is a folder or a link, it is in use, or it exists and is read-only
  // (on Linux: no owner write bit, or this process cannot read and write it), hidden (on Linux:
  // the name starts with '.') or system; also when the temporary file cannot be created. On
  // Linux the replacement keeps the old file's mode and owner.
  static std::optional<ReplacementFile> Open(const std::string& target);

  File& Content() { return pending_.Content(); }
  // Raises std::system_error; the target is then unchanged. On Windows the target is let go just
  // before the final move, which needs it free.
  void Commit();

 private:
  ReplacementFile(ExclusiveUse hold, PendingFile pending)
      : hold_(std::move(hold)), pending_(std::move(pending)) {}

  ExclusiveUse hold_;
  PendingFile pending_;
};

}  // namespace orvo::platform
