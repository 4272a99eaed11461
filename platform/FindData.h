// One entry as a Windows find yields it: the fields of the 592-byte find-data record that
// listings carry, and that record's byte layout. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvo::platform {

namespace attr {
inline constexpr uint32_t kReadOnly = 0x01;
inline constexpr uint32_t kHidden = 0x02;
inline constexpr uint32_t kFolder = 0x10;
inline constexpr uint32_t kArchive = 0x20;
inline constexpr uint32_t kNormal = 0x80;
inline constexpr uint32_t kReparsePoint = 0x400;
}  // namespace attr

// The reparse tag Windows gives a symbolic link.
inline constexpr uint32_t kSymlinkReparseTag = 0xA000000C;
inline constexpr std::size_t kFindDataBytes = 592;

struct FindData {
  uint32_t attributes = attr::kNormal;
  uint64_t creationTime = 0;  // 100 ns intervals since 1601-01-01 UTC
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  uint64_t size = 0;
  uint32_t reparseTag = 0;
  std::string name;           // UTF-8, the entry's own name without its folder
  std::string alternateName;  // UTF-8 short 8.3 name; empty where there is none

  bool IsFolder() const { return (attributes & attr::kFolder) != 0; }
  bool IsLink() const { return (attributes & attr::kReparsePoint) != 0; }
};

// Seconds and nanoseconds since 1970 as a Windows file time; times before 1601 become 0.
uint64_t ToFileTime(int64_t seconds, uint32_t nanoseconds);
// The inverse, in whole seconds since 1970 (rounded down; times before 1970 are negative).
int64_t FileTimeToUnixSeconds(uint64_t fileTime);

// The 592-byte little-endian record; the name is cut to 259 UTF-16 units, the alternate (short)
// name to 13, and every unused byte is zero.
std::string EncodeFindData(const FindData& data);

// Reads one record back; `record` must hold exactly kFindDataBytes bytes. Names end at their first
// NUL unit (or fill their whole field); unpaired surrogates become U+FFFD.
FindData DecodeFindData(std::string_view record);

}  // namespace orvo::platform
