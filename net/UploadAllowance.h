// How many bytes an upload may bring, judged when it starts: enough to leave the volume its
// free-space reserve and, when a student quota is set, to keep the student's folder within it.
// Any thread; does not raise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/Options.h"

namespace orvo::net {

// The limits an upload meets; the defaults are those of the options.
struct UploadRules {
  int64_t freeSpaceReserveBytes = -1;  // -1: the automatic rule
  uint64_t studentQuotaBytes = 0;      // 0: no quota

  // The rules as `options` hold them now.
  static UploadRules FromOptions(const core::OptionValues& options);
};

// The free space an upload must leave on a volume of `volumeBytes`: `option` bytes, or for -1
// the smaller of kAutoReserveCapBytes and kAutoReservePercent of the volume (core/Options.h).
uint64_t FreeSpaceReserve(int64_t option, uint64_t volumeBytes);

struct UploadPlace {
  std::string target;          // resolved
  uint64_t replacedBytes = 0;  // the size of the file the upload would replace
  // The student's own folder (resolved), when the target lies in it.
  std::optional<std::string> studentFolder;
};

// The most bytes the upload may bring; UINT64_MAX when nothing limits it (also where the volume
// cannot be examined: an upload is not refused for want of a figure).
uint64_t UploadAllowance(const UploadPlace& place, const UploadRules& rules);

}  // namespace orvo::net
