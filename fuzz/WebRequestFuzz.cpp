// The texts a browser's request carries, to the portal's readers and writers: request targets,
// form bodies, cookies, relative paths and Range headers in, JSON strings and download names out.
// Whatever the bytes, an accepted path has no level that leaves its folder, a served range lies
// within the file, and no written text carries a raw control character.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "web/RequestText.h"

namespace {

bool HasControl(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

void CheckLevels(std::string_view path) {
  const auto levels = orvo::web::RelativeLevels(path);
  if (!levels) return;
  for (const std::string& level : *levels) {
    if (level.empty() || level == "." || level == ".." ||
        level.find_first_of("/\\") != std::string::npos || HasControl(level) ||
        !orvo::web::IsEntryName(level)) {
      __builtin_trap();
    }
  }
}

void CheckRange(std::string_view header, uint64_t size) {
  const orvo::web::RangeAnswer answer = orvo::web::ParseRange(header, size);
  if (answer.kind != orvo::web::RangeKind::Partial) return;
  if (answer.range.first > answer.range.last || answer.range.last >= size) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  if (const auto target = orvo::web::ParseTarget(text)) {
    if (target->path.empty() || target->path.front() != '/' || HasControl(target->path)) {
      __builtin_trap();
    }
    for (const auto& [key, value] : target->query) {
      if (key.empty() || HasControl(key) || HasControl(value)) __builtin_trap();
    }
    if (const auto path = target->query.find("path"); path != target->query.end()) {
      CheckLevels(path->second);
    }
  }
  if (const auto form = orvo::web::ParseForm(text)) {
    for (const auto& [key, value] : *form) {
      if (HasControl(key) || HasControl(value)) __builtin_trap();
    }
  }
  if (const auto cookie = orvo::web::CookieValue(text, "orvo_session")) {
    if (cookie->find(';') != std::string::npos) __builtin_trap();
  }
  CheckLevels(text);

  // The file's size from the first eight bytes, besides the sizes at the edges.
  uint64_t fileSize = 0;
  std::memcpy(&fileSize, data, std::min<size_t>(size, sizeof fileSize));
  for (const uint64_t s :
       {fileSize, uint64_t{0}, uint64_t{1}, uint64_t{1000}, std::numeric_limits<uint64_t>::max()}) {
    CheckRange(text, s);
    CheckRange("bytes=" + std::string(text), s);
  }

  const std::string json = orvo::web::JsonString(text);
  if (json.size() < 2 || json.front() != '"' || json.back() != '"' || HasControl(json)) {
    __builtin_trap();
  }
  const std::string disposition = orvo::web::AttachmentDisposition(text);
  if (disposition.rfind("attachment;", 0) != 0 || HasControl(disposition)) __builtin_trap();
  return 0;
}
