#include "platform/VolumeSpace.h"

#include <sys/statvfs.h>

namespace orvo::platform {

std::optional<VolumeSpace> SpaceOfVolume(const std::string& folder) {
  struct statvfs volume {};
  if (::statvfs(folder.c_str(), &volume) != 0) return std::nullopt;
  const uint64_t unit = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
  return VolumeSpace{uint64_t{volume.f_bavail} * unit, uint64_t{volume.f_blocks} * unit};
}

}  // namespace orvo::platform
