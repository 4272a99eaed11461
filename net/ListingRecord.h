// The 592-byte listing record of a LIST reply (laid out as the Windows find-data record, numbers
// little-endian), decoded for clients. Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace orvo::net {

inline constexpr std::size_t kListingRecordBytes = 592;

// Attribute bits a listing record may carry.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;
inline constexpr uint32_t kAttrReparsePoint = 0x400;
inline constexpr uint32_t kReparseTagSymlink = 0xA000000C;

struct ListingEntry {
  uint32_t attributes = 0;
  // 100-nanosecond intervals since 1601-01-01 00:00 UTC.
  uint64_t creationTime = 0;
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;
  uint64_t size = 0;
  uint32_t reparseTag = 0;  // meaningful only with kAttrReparsePoint
  std::string name;         // UTF-8
  std::string alternateName;

  bool IsFolder() const { return (attributes & kAttrDirectory) != 0; }
  bool IsLink() const { return (attributes & kAttrReparsePoint) != 0; }
};

// Decodes one record; `record` must hold exactly kListingRecordBytes bytes. Names end at their
// first NUL unit (or fill their whole field); unpaired surrogates become U+FFFD.
ListingEntry DecodeListingRecord(std::string_view record);

// Seconds since 1970-01-01 00:00 UTC of a record time (rounded down; times before 1970 are
// negative).
int64_t FileTimeToUnixSeconds(uint64_t fileTime);

}  // namespace orvo::net
