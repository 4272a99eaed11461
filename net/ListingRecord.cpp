#include "net/ListingRecord.h"

#include <cassert>

#include "platform/CodePage.h"

namespace orvo::net {
namespace {

constexpr std::size_t kNameOffset = 44;
constexpr std::size_t kNameUnits = 260;
constexpr std::size_t kAlternateOffset = 564;
constexpr std::size_t kAlternateUnits = 14;
// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000;

uint32_t Le32(std::string_view bytes, std::size_t at) {
  uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

uint64_t Le64(std::string_view bytes, std::size_t at) {
  return static_cast<uint64_t>(Le32(bytes, at)) | static_cast<uint64_t>(Le32(bytes, at + 4)) << 32;
}

std::string Utf16Field(std::string_view bytes, std::size_t at, std::size_t units) {
  std::u16string text;
  for (std::size_t i = 0; i < units; ++i) {
    const auto lo = static_cast<unsigned char>(bytes[at + 2 * i]);
    const auto hi = static_cast<unsigned char>(bytes[at + 2 * i + 1]);
    const auto unit = static_cast<char16_t>(lo | hi << 8);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return platform::Utf16ToUtf8(text);
}

}  // namespace

ListingEntry DecodeListingRecord(std::string_view record) {
  assert(record.size() == kListingRecordBytes);
  ListingEntry entry;
  entry.attributes = Le32(record, 0);
  entry.creationTime = Le64(record, 4);
  entry.lastAccessTime = Le64(record, 12);
  entry.lastWriteTime = Le64(record, 20);
  // The high half of the size comes first.
  entry.size = static_cast<uint64_t>(Le32(record, 28)) << 32 | Le32(record, 32);
  entry.reparseTag = Le32(record, 36);
  entry.name = Utf16Field(record, kNameOffset, kNameUnits);
  entry.alternateName = Utf16Field(record, kAlternateOffset, kAlternateUnits);
  return entry;
}

int64_t FileTimeToUnixSeconds(uint64_t fileTime) {
  const int64_t since1970 = static_cast<int64_t>(fileTime) - kUnixEpochAsFileTime;
  const int64_t seconds = since1970 / 10000000;
  return since1970 % 10000000 < 0 ? seconds - 1 : seconds;
}

}  // namespace orvo::net
