// The byte layout of the zip records the packer writes: local headers, central directory records
// and the end records, with Zip64 fields only where a value does not fit its classic field. Pure
// functions; any thread; nothing here raises.
#pragma once

#include <cstdint>
#include <string>

namespace orvo::pack {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
inline constexpr uint32_t kCentralRecordSignature = 0x02014b50;
inline constexpr uint32_t kEndRecordSignature = 0x06054b50;
inline constexpr uint32_t kZip64EndRecordSignature = 0x06064b50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr uint16_t kZip64ExtraTag = 0x0001;
inline constexpr uint16_t kUtf8NameFlag = 0x0800;
inline constexpr uint16_t kDeflated = 8;
inline constexpr uint16_t kClassicVersion = 20;
inline constexpr uint16_t kZip64Version = 45;
inline constexpr std::size_t kLocalHeaderBytes = 30;
inline constexpr std::size_t kEndRecordBytes = 22;

// Where the classic fields end. A value at or above `sizeLimit` (sizes, offsets) or `countLimit`
// (entry count) goes into a Zip64 field and its classic field holds the all-ones marker. Only
// tests lower them, to reach the Zip64 records without writing 4 GiB.
struct ZipLimits {
  uint64_t sizeLimit = 0xFFFFFFFF;
  uint64_t countLimit = 0xFFFF;
};

struct EntryRecord {
  std::string name;  // UTF-8, '/' between folder levels
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0;
  uint32_t externalAttributes = 0;
};

std::string LocalHeader(const EntryRecord& entry, const ZipLimits& limits);
std::string CentralRecord(const EntryRecord& entry, const ZipLimits& limits);
// The Zip64 end record and its locator when something needs them, then the classic end record.
std::string EndRecords(uint64_t entries, uint64_t directoryOffset, uint64_t directorySize,
                       const ZipLimits& limits);

struct DosDateTime {
  uint16_t time = 0;
  uint16_t date = 0;
};

// A Windows file time (100 ns since 1601 UTC) as an MS-DOS time and date in local time, seconds
// rounded down to even; times before 1980 become 1980-01-01 00:00:00, times after 2107 the last
// moment of 2107, the limits of the format.
DosDateTime ToDosDateTime(uint64_t fileTime);

}  // namespace orvo::pack
