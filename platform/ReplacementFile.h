// The new content of one file during an upload: the target is held without sharing
// (ExclusiveUse) while the bytes go to a PendingFile beside it, which takes the target's place on
// Commit. Destroyed uncommitted, it leaves the target (or its absence) as it was. One thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ExclusiveUse.h"
#include "platform/PendingFile.h"

namespace orvo::platform {

// What the temporary file of an upload is called: this prefix and 16 hex digits (PendingFile).
inline constexpr std::string_view kUploadPrefix = ".orvo-upload-";

// Removes, at any depth below `folder` (resolved; links not followed), every file named exactly
// as an upload's temporary. Only for the service's start, when no upload runs: the files it finds
// are what a killed service left. Any other file stays. Does not raise.
void RemoveLeftoverUploads(const std::string& folder);

class ReplacementFile {
 public:
  // nullopt where Windows would refuse to create or truncate `target` (resolved, absolute): its
  // folder is missing, it is a folder or a link, it is in use, or it exists and is read-only
  // (on Linux: no owner write bit, or this process cannot read and write it), hidden (on Linux:
  // the name starts with '.') or system; also when the temporary file cannot be created. On
  // Linux the replacement keeps the old file's mode and owner.
  static std::optional<ReplacementFile> Open(const std::string& target);

  File& Content() { return pending_.Content(); }
  // The size of the file that Commit would replace; 0 where there is none.
  uint64_t ReplacedBytes() const { return hold_.Size(); }
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
