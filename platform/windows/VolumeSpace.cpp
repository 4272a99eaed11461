#include "platform/VolumeSpace.h"

#include <windows.h>

#include "platform/windows/WideText.h"

namespace orvo::platform {

std::optional<VolumeSpace> SpaceOfVolume(const std::string& folder) {
  std::wstring path = Wide(folder);
  // A share's root is only taken with its trailing separator.
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  ULARGE_INTEGER freeToCaller{};
  ULARGE_INTEGER total{};
  if (!GetDiskFreeSpaceExW(path.c_str(), &freeToCaller, &total, nullptr)) return std::nullopt;
  return VolumeSpace{freeToCaller.QuadPart, total.QuadPart};
}

}  // namespace orvo::platform
