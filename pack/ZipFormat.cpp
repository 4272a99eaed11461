#include "pack/ZipFormat.h"

#include <ctime>

#include "pack/HostFiles.h"
#include "platform/ByteOrder.h"
#include "platform/FindData.h"

namespace orvo::pack {
namespace {

constexpr uint32_t kMarker32 = 0xFFFFFFFF;
constexpr uint16_t kMarker16 = 0xFFFF;
constexpr uint16_t kMsDosHost = 0;

using platform::AppendLe16;
using platform::AppendLe32;
using platform::AppendLe64;

// The Zip64 extra field with the given values in the order the format fixes; empty without any.
std::string Zip64Extra(std::initializer_list<std::pair<bool, uint64_t>> fields) {
  std::string values;
  for (const auto& [present, value] : fields) {
    if (present) AppendLe64(values, value);
  }
  if (values.empty()) return values;
  std::string extra;
  AppendLe16(extra, kZip64ExtraTag);
  AppendLe16(extra, values.size());
  return extra + values;
}

}  // namespace

std::string LocalHeader(const EntryRecord& entry, const ZipLimits& limits) {
  // A local header that needs Zip64 carries both sizes, as the format requires there.
  const bool zip64 =
      entry.uncompressedSize >= limits.sizeLimit || entry.compressedSize >= limits.sizeLimit;
  const std::string extra =
      zip64 ? Zip64Extra({{true, entry.uncompressedSize}, {true, entry.compressedSize}}) : "";
  std::string out;
  out.reserve(kLocalHeaderBytes + entry.name.size() + extra.size());
  AppendLe32(out, kLocalHeaderSignature);
  AppendLe16(out, zip64 ? kZip64Version : kClassicVersion);
  AppendLe16(out, kUtf8NameFlag);
  AppendLe16(out, kDeflated);
  AppendLe16(out, entry.dosTime);
  AppendLe16(out, entry.dosDate);
  AppendLe32(out, entry.crc);
  AppendLe32(out, zip64 ? kMarker32 : entry.compressedSize);
  AppendLe32(out, zip64 ? kMarker32 : entry.uncompressedSize);
  AppendLe16(out, entry.name.size());
  AppendLe16(out, extra.size());
  out += entry.name;
  out += extra;
  return out;
}

std::string CentralRecord(const EntryRecord& entry, const ZipLimits& limits) {
  const bool bigUncompressed = entry.uncompressedSize >= limits.sizeLimit;
  const bool bigCompressed = entry.compressedSize >= limits.sizeLimit;
  const bool farOffset = entry.localHeaderOffset >= limits.sizeLimit;
  const std::string extra = Zip64Extra({{bigUncompressed, entry.uncompressedSize},
                                        {bigCompressed, entry.compressedSize},
                                        {farOffset, entry.localHeaderOffset}});
  const uint16_t version = extra.empty() ? kClassicVersion : kZip64Version;
  std::string out;
  out.reserve(46 + entry.name.size() + extra.size());
  AppendLe32(out, kCentralRecordSignature);
  AppendLe16(out, kMsDosHost << 8 | version);  // version made by
  AppendLe16(out, version);                    // version needed to extract
  AppendLe16(out, kUtf8NameFlag);
  AppendLe16(out, kDeflated);
  AppendLe16(out, entry.dosTime);
  AppendLe16(out, entry.dosDate);
  AppendLe32(out, entry.crc);
  AppendLe32(out, bigCompressed ? kMarker32 : entry.compressedSize);
  AppendLe32(out, bigUncompressed ? kMarker32 : entry.uncompressedSize);
  AppendLe16(out, entry.name.size());
  AppendLe16(out, extra.size());
  AppendLe16(out, 0);  // comment length
  AppendLe16(out, 0);  // disk number start
  AppendLe16(out, 0);  // internal attributes
  AppendLe32(out, entry.externalAttributes);
  AppendLe32(out, farOffset ? kMarker32 : entry.localHeaderOffset);
  out += entry.name;
  out += extra;
  return out;
}

std::string EndRecords(uint64_t entries, uint64_t directoryOffset, uint64_t directorySize,
                       const ZipLimits& limits) {
  const bool manyEntries = entries >= limits.countLimit;
  const bool bigDirectory = directorySize >= limits.sizeLimit;
  const bool farDirectory = directoryOffset >= limits.sizeLimit;
  std::string out;
  if (manyEntries || bigDirectory || farDirectory) {
    const uint64_t zip64EndOffset = directoryOffset + directorySize;
    AppendLe32(out, kZip64EndRecordSignature);
    AppendLe64(out, 44);  // size of the rest of this record
    AppendLe16(out, kMsDosHost << 8 | kZip64Version);
    AppendLe16(out, kZip64Version);
    AppendLe32(out, 0);  // this disk
    AppendLe32(out, 0);  // disk where the directory starts
    AppendLe64(out, entries);
    AppendLe64(out, entries);
    AppendLe64(out, directorySize);
    AppendLe64(out, directoryOffset);
    AppendLe32(out, kZip64LocatorSignature);
    AppendLe32(out, 0);  // disk of the Zip64 end record
    AppendLe64(out, zip64EndOffset);
    AppendLe32(out, 1);  // number of disks
  }
  AppendLe32(out, kEndRecordSignature);
  AppendLe16(out, 0);  // this disk
  AppendLe16(out, 0);  // disk where the directory starts
  AppendLe16(out, manyEntries ? kMarker16 : entries);
  AppendLe16(out, manyEntries ? kMarker16 : entries);
  AppendLe32(out, bigDirectory ? kMarker32 : directorySize);
  AppendLe32(out, farDirectory ? kMarker32 : directoryOffset);
  AppendLe16(out, 0);  // comment length
  return out;
}

DosDateTime ToDosDateTime(uint64_t fileTime) {
  const auto seconds = static_cast<std::time_t>(platform::FileTimeToUnixSeconds(fileTime));
  std::tm local{};
  // Where the host cannot express the moment at all (Windows stops near 1970 and at 3000), it lies
  // beyond the format's limits on that side.
  constexpr std::time_t kYear2000 = 946684800;
  const bool converted = host::ToLocalTime(seconds, local);
  if (converted ? local.tm_year < 80 : seconds < kYear2000) {
    return {0, static_cast<uint16_t>(1 << 5 | 1)};
  }
  if (!converted || local.tm_year > 207) {
    return {static_cast<uint16_t>(23 << 11 | 59 << 5 | 29),
            static_cast<uint16_t>(127 << 9 | 12 << 5 | 31)};
  }
  DosDateTime dos;
  dos.time = static_cast<uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  dos.date =
      static_cast<uint16_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  return dos;
}

}  // namespace orvo::pack
