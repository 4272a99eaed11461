#include "net/UploadAllowance.h"

#include <algorithm>
#include <limits>

#include "platform/ResolvePath.h"
#include "platform/TreeFiles.h"
#include "platform/VolumeSpace.h"

namespace orvo::net {
namespace {

constexpr uint64_t kUnlimited = std::numeric_limits<uint64_t>::max();

uint64_t Above(uint64_t have, uint64_t keep) {
  return have > keep ? have - keep : 0;
}

uint64_t BytesBelow(const std::string& folder) {
  uint64_t total = 0;
  platform::ForEachFileBelow(folder, [&](const platform::TreeFile& file) { total += file.bytes; });
  return total;
}

}  // namespace

uint64_t FreeSpaceReserve(int64_t option, uint64_t volumeBytes) {
  if (option >= 0) return static_cast<uint64_t>(option);
  // In two parts, so that neither overflows nor drops the remainder's share.
  const uint64_t share = volumeBytes / 100 * core::kAutoReservePercent +
                         volumeBytes % 100 * core::kAutoReservePercent / 100;
  return std::min(core::kAutoReserveCapBytes, share);
}

UploadRules UploadRules::FromOptions(const core::OptionValues& options) {
  return {options.FreeSpaceReserveBytes.load(), options.StudentQuotaBytes.load()};
}

uint64_t UploadAllowance(const UploadPlace& place, const UploadRules& rules) {
  uint64_t allowance = kUnlimited;
  if (const auto space = platform::SpaceOfVolume(platform::ParentFolder(place.target))) {
    const uint64_t reserve = FreeSpaceReserve(rules.freeSpaceReserveBytes, space->totalBytes);
    allowance = Above(space->freeBytes, reserve);
  }
  const uint64_t quota = rules.studentQuotaBytes;
  if (quota != 0 && place.studentFolder) {
    // The replaced file leaves the folder when the upload takes its place.
    const uint64_t kept = Above(BytesBelow(*place.studentFolder), place.replacedBytes);
    allowance = std::min(allowance, Above(quota, kept));
  }
  return allowance;
}

}  // namespace orvo::net
