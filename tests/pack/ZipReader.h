// A strict reader of the archives the packer writes, for tests: it parses every record, checks
// that entries follow one another without gaps or data descriptors up to the central directory,
// inflates each entry and checks its CRC-32 and size. Raises std::runtime_error on anything
// malformed.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ByteOrder.h"

namespace orvo::pack::testing {

struct ReadEntry {
  // Central directory record.
  uint16_t madeBy = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc = 0;
  uint32_t compressed32 = 0;
  uint32_t uncompressed32 = 0;
  uint64_t compressedSize = 0;  // after the Zip64 field, where there is one
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0;
  uint32_t offset32 = 0;
  uint16_t commentLength = 0;
  uint16_t diskStart = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0;
  std::string name;
  std::string centralExtra;
  // Local header.
  uint16_t localVersion = 0;
  uint16_t localFlags = 0;
  uint16_t localMethod = 0;
  uint16_t localTime = 0;
  uint16_t localDate = 0;
  uint32_t localCrc = 0;
  uint32_t localCompressed32 = 0;
  uint32_t localUncompressed32 = 0;
  std::string localName;
  std::string localExtra;
  std::string deflated;  // the stored stream
  std::string content;   // inflated
};

struct ReadArchive {
  std::vector<ReadEntry> entries;
  bool zip64End = false;
  uint16_t classicEntries = 0;
  uint32_t classicDirectorySize = 0;
  uint32_t classicDirectoryOffset = 0;
  uint64_t directoryOffset = 0;
  uint64_t directorySize = 0;
};

namespace detail {

// A field of 2, 4 or 8 bytes; a field past the end of the archive is a broken archive.
inline uint64_t Le(const std::string& bytes, uint64_t at, int width) {
  if (at + width > bytes.size()) throw std::runtime_error("record runs past the end");
  const auto offset = static_cast<std::size_t>(at);
  switch (width) {
    case 2:
      return platform::LoadLe16(bytes, offset);
    case 4:
      return platform::LoadLe32(bytes, offset);
    default:
      return platform::LoadLe64(bytes, offset);
  }
}

inline std::string Slice(const std::string& bytes, uint64_t at, uint64_t size) {
  if (at + size > bytes.size()) throw std::runtime_error("field runs past the end");
  return bytes.substr(at, size);
}

inline std::string Inflate(const std::string& deflated, uint64_t expectedSize) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
  std::string out(expectedSize + 1, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
  z.avail_in = static_cast<uInt>(deflated.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  const uint64_t produced = z.total_out;
  const bool allUsed = z.avail_in == 0;
  inflateEnd(&z);
  if (rc != Z_STREAM_END || !allUsed) throw std::runtime_error("bad deflate stream");
  out.resize(produced);
  return out;
}

}  // namespace detail

// `bytes` is the whole archive. Without `inflate` the entries' streams are neither inflated nor
// checked (for archives of files too big to hold in memory).
inline ReadArchive ReadZip(const std::string& bytes, bool inflate = true) {
  using detail::Le;
  ReadArchive archive;
  if (bytes.size() < 22) throw std::runtime_error("shorter than an end record");
  const uint64_t end = bytes.size() - 22;
  if (Le(bytes, end, 4) != 0x06054b50) throw std::runtime_error("no end record at the end");
  if (Le(bytes, end + 4, 4) != 0 || Le(bytes, end + 20, 2) != 0)
    throw std::runtime_error("disk numbers or comment in the end record");
  if (Le(bytes, end + 8, 2) != Le(bytes, end + 10, 2))
    throw std::runtime_error("entry counts differ");
  archive.classicEntries = static_cast<uint16_t>(Le(bytes, end + 10, 2));
  archive.classicDirectorySize = static_cast<uint32_t>(Le(bytes, end + 12, 4));
  archive.classicDirectoryOffset = static_cast<uint32_t>(Le(bytes, end + 16, 4));
  uint64_t count = archive.classicEntries;
  archive.directorySize = archive.classicDirectorySize;
  archive.directoryOffset = archive.classicDirectoryOffset;
  uint64_t directoryEnd = end;
  if (end >= 20 && Le(bytes, end - 20, 4) == 0x07064b50) {
    archive.zip64End = true;
    const uint64_t record = Le(bytes, end - 20 + 8, 8);
    if (Le(bytes, end - 20 + 16, 4) != 1) throw std::runtime_error("locator disk count");
    if (record + 56 != end - 20) throw std::runtime_error("Zip64 end record not before locator");
    if (Le(bytes, record, 4) != 0x06064b50 || Le(bytes, record + 4, 8) != 44)
      throw std::runtime_error("bad Zip64 end record");
    if (Le(bytes, record + 12, 2) != 45 || Le(bytes, record + 14, 2) != 45)
      throw std::runtime_error("Zip64 end record versions");
    if (Le(bytes, record + 24, 8) != Le(bytes, record + 32, 8))
      throw std::runtime_error("Zip64 entry counts differ");
    count = Le(bytes, record + 32, 8);
    archive.directorySize = Le(bytes, record + 40, 8);
    archive.directoryOffset = Le(bytes, record + 48, 8);
    directoryEnd = record;
  }
  if (archive.directoryOffset + archive.directorySize != directoryEnd)
    throw std::runtime_error("central directory does not end where the end records start");

  uint64_t at = archive.directoryOffset;
  uint64_t expectedLocal = 0;  // entries follow one another from the start of the file
  for (uint64_t i = 0; i < count; ++i) {
    ReadEntry e;
    if (Le(bytes, at, 4) != 0x02014b50) throw std::runtime_error("bad central record signature");
    e.madeBy = static_cast<uint16_t>(Le(bytes, at + 4, 2));
    e.versionNeeded = static_cast<uint16_t>(Le(bytes, at + 6, 2));
    e.flags = static_cast<uint16_t>(Le(bytes, at + 8, 2));
    e.method = static_cast<uint16_t>(Le(bytes, at + 10, 2));
    e.dosTime = static_cast<uint16_t>(Le(bytes, at + 12, 2));
    e.dosDate = static_cast<uint16_t>(Le(bytes, at + 14, 2));
    e.crc = static_cast<uint32_t>(Le(bytes, at + 16, 4));
    e.compressed32 = static_cast<uint32_t>(Le(bytes, at + 20, 4));
    e.uncompressed32 = static_cast<uint32_t>(Le(bytes, at + 24, 4));
    const uint64_t nameLength = Le(bytes, at + 28, 2);
    const uint64_t extraLength = Le(bytes, at + 30, 2);
    e.commentLength = static_cast<uint16_t>(Le(bytes, at + 32, 2));
    e.diskStart = static_cast<uint16_t>(Le(bytes, at + 34, 2));
    e.internalAttributes = static_cast<uint16_t>(Le(bytes, at + 36, 2));
    e.externalAttributes = static_cast<uint32_t>(Le(bytes, at + 38, 4));
    e.offset32 = static_cast<uint32_t>(Le(bytes, at + 42, 4));
    e.name = detail::Slice(bytes, at + 46, nameLength);
    e.centralExtra = detail::Slice(bytes, at + 46 + nameLength, extraLength);
    at += 46 + nameLength + extraLength + e.commentLength;

    e.uncompressedSize = e.uncompressed32;
    e.compressedSize = e.compressed32;
    e.localHeaderOffset = e.offset32;
    if (!e.centralExtra.empty()) {
      if (Le(e.centralExtra, 0, 2) != 1 || Le(e.centralExtra, 2, 2) + 4 != e.centralExtra.size())
        throw std::runtime_error("central extra field is not one Zip64 field");
      uint64_t field = 4;
      for (uint64_t* value : {&e.uncompressedSize, &e.compressedSize, &e.localHeaderOffset}) {
        if (*value == 0xFFFFFFFF) {
          *value = Le(e.centralExtra, field, 8);
          field += 8;
        }
      }
      if (field != e.centralExtra.size()) throw std::runtime_error("Zip64 field has extra values");
    }

    const uint64_t local = e.localHeaderOffset;
    if (local != expectedLocal) throw std::runtime_error("gap or overlap before " + e.name);
    if (Le(bytes, local, 4) != 0x04034b50) throw std::runtime_error("bad local header signature");
    e.localVersion = static_cast<uint16_t>(Le(bytes, local + 4, 2));
    e.localFlags = static_cast<uint16_t>(Le(bytes, local + 6, 2));
    e.localMethod = static_cast<uint16_t>(Le(bytes, local + 8, 2));
    e.localTime = static_cast<uint16_t>(Le(bytes, local + 10, 2));
    e.localDate = static_cast<uint16_t>(Le(bytes, local + 12, 2));
    e.localCrc = static_cast<uint32_t>(Le(bytes, local + 14, 4));
    e.localCompressed32 = static_cast<uint32_t>(Le(bytes, local + 18, 4));
    e.localUncompressed32 = static_cast<uint32_t>(Le(bytes, local + 22, 4));
    const uint64_t localNameLength = Le(bytes, local + 26, 2);
    const uint64_t localExtraLength = Le(bytes, local + 28, 2);
    e.localName = detail::Slice(bytes, local + 30, localNameLength);
    e.localExtra = detail::Slice(bytes, local + 30 + localNameLength, localExtraLength);
    const uint64_t data = local + 30 + localNameLength + localExtraLength;
    if (data + e.compressedSize > bytes.size()) throw std::runtime_error("data past the end");
    expectedLocal = data + e.compressedSize;
    if (e.method != 8) throw std::runtime_error("not deflated: " + e.name);
    if (!inflate) {
      archive.entries.push_back(std::move(e));
      continue;
    }
    e.deflated = detail::Slice(bytes, data, e.compressedSize);
    e.content = detail::Inflate(e.deflated, e.uncompressedSize);
    if (e.content.size() != e.uncompressedSize) throw std::runtime_error("size of " + e.name);
    const uint32_t crc = static_cast<uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(e.content.data()), e.content.size()));
    if (crc != e.crc) throw std::runtime_error("CRC-32 of " + e.name);
    archive.entries.push_back(std::move(e));
  }
  if (at != archive.directoryOffset + archive.directorySize)
    throw std::runtime_error("central directory size");
  if (expectedLocal != archive.directoryOffset)
    throw std::runtime_error("bytes between the last entry and the central directory");
  return archive;
}

}  // namespace orvo::pack::testing
