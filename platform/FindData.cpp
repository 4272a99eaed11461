#include "platform/FindData.h"

#include <cassert>
#include <cerrno>

#include "platform/CodePage.h"

namespace orvo::platform {
namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr std::size_t kNameUnits = 260;
constexpr std::size_t kNameOffset = 44;

constexpr std::size_t kAlternateOffset = 564;
constexpr std::size_t kAlternateUnits = 14;

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

void PutLe(std::string& out, std::size_t offset, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A name cut to fit its field with its terminating NUL unit.
void PutName(std::string& out, std::size_t offset, std::size_t units, const std::string& text) {
  std::u16string name = Utf8ToUtf16(SanitizeUtf8(text));
  if (name.size() > units - 1) name.resize(units - 1);
  for (std::size_t i = 0; i < name.size(); ++i) PutLe(out, offset + 2 * i, name[i], 2);
}

}  // namespace

uint64_t ToFileTime(int64_t seconds, uint32_t nanoseconds) {
  const int64_t since1601 = seconds + kSecondsFrom1601To1970;
  if (since1601 < 0) return 0;
  return static_cast<uint64_t>(since1601) * 10000000u + nanoseconds / 100u;
}

std::string EncodeFindData(const FindData& data) {
  std::string out(kFindDataBytes, '\0');
  PutLe(out, 0, data.attributes, 4);
  PutLe(out, 4, data.creationTime, 8);
  PutLe(out, 12, data.lastAccessTime, 8);
  PutLe(out, 20, data.lastWriteTime, 8);
  PutLe(out, 28, data.size >> 32, 4);
  PutLe(out, 32, data.size & 0xFFFFFFFFu, 4);
  PutLe(out, 36, data.reparseTag, 4);
  PutName(out, kNameOffset, kNameUnits, data.name);
  PutName(out, kAlternateOffset, kAlternateUnits, data.alternateName);
  return out;
}

FindData DecodeFindData(std::string_view record) {
  assert(record.size() == kFindDataBytes);
  FindData entry;
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
  const int64_t since1970 = static_cast<int64_t>(fileTime) - kSecondsFrom1601To1970 * 10000000;
  const int64_t seconds = since1970 / 10000000;
  return since1970 % 10000000 < 0 ? seconds - 1 : seconds;
}

}  // namespace orvo::platform
