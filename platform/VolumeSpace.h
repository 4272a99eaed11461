// The size and free space of the volume that holds a folder, so that uploads can leave a reserve
// free. Any thread; does not raise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvo::platform {

struct VolumeSpace {
  uint64_t freeBytes;   // what this process may still write (blocks kept for the system excluded)
  uint64_t totalBytes;  // the volume's whole size
};

// nullopt when `folder` (a resolved path to an existing folder) cannot be examined.
std::optional<VolumeSpace> SpaceOfVolume(const std::string& folder);

}  // namespace orvo::platform
