// The host's regional settings that time texts are written and read with. A host without Windows
// regional settings uses the values of a Chinese Windows host, so that timetables typed there keep
// parsing the same way here. HostRegional() is immutable and safe to read from any thread.
#pragma once

#include <string>

namespace orvo::platform {

struct RegionalSettings {
  std::string timeSeparator = ":";
  std::string decimalSeparator = ".";
  std::string amWord = "上午";
  std::string pmWord = "下午";
};

const RegionalSettings& HostRegional();

}  // namespace orvo::platform
