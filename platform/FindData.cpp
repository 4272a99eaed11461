#include "platform/FindData.h"

#include <cassert>
#include <cerrno>

#include "platform/ByteOrder.h"
#include "platform/CodePage.h"

namespace orvo::platform {
namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr std::size_t kNameUnits = 260;
constexpr std::size_t kNameOffset = 44;

constexpr std::size_t kAlternateOffset = 564;
constexpr std::size_t kAlternateUnits = 14;

std::string Utf16Field(std::string_view bytes, std::size_t at, std::size_t units) {
  std::u16string text;
  for (std::size_t i = 0; i < units; ++i) {
    const auto unit = static_cast<char16_t>(LoadLe16(bytes, at + 2 * i));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return platform::Utf16ToUtf8(text);
}

// A name cut to fit its field of `units` UTF-16 units, the rest NUL (at least one).
void AppendName(std::string& out, std::size_t units, const std::string& text) {
  std::u16string name = Utf8ToUtf16(SanitizeUtf8(text));
  name.resize(units, u'\0');
  name.back() = u'\0';
  for (const char16_t unit : name) AppendLe16(out, unit);
}

}  // namespace

uint64_t ToFileTime(int64_t seconds, uint32_t nanoseconds) {
  const int64_t since1601 = seconds + kSecondsFrom1601To1970;
  if (since1601 < 0) return 0;
  return static_cast<uint64_t>(since1601) * 10000000u + nanoseconds / 100u;
}

std::string EncodeFindData(const FindData& data) {
  std::string out;
  out.reserve(kFindDataBytes);
  AppendLe32(out, data.attributes);
  AppendLe64(out, data.creationTime);
  AppendLe64(out, data.lastAccessTime);
  AppendLe64(out, data.lastWriteTime);
  // The high half of the size comes first.
  AppendLe32(out, data.size >> 32);
  AppendLe32(out, data.size);
  AppendLe32(out, data.reparseTag);
  AppendLe32(out, 0);
  assert(out.size() == kNameOffset);
  AppendName(out, kNameUnits, data.name);
  assert(out.size() == kAlternateOffset);
  AppendName(out, kAlternateUnits, data.alternateName);
  assert(out.size() == kFindDataBytes);
  return out;
}

FindData DecodeFindData(std::string_view record) {
  assert(record.size() == kFindDataBytes);
  FindData entry;
  entry.attributes = LoadLe32(record, 0);
  entry.creationTime = LoadLe64(record, 4);
  entry.lastAccessTime = LoadLe64(record, 12);
  entry.lastWriteTime = LoadLe64(record, 20);
  // The high half of the size comes first.
  entry.size = static_cast<uint64_t>(LoadLe32(record, 28)) << 32 | LoadLe32(record, 32);
  entry.reparseTag = LoadLe32(record, 36);
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
