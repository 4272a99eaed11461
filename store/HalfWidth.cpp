#include "store/HalfWidth.h"

#include <cstddef>

#include "platform/Utf8Units.h"

namespace orvo::store {
namespace {

constexpr char32_t kFirstWide = 0xFF01;  // full-width '!'
constexpr char32_t kLastWide = 0xFF5E;   // full-width '~'
constexpr char32_t kWideOffset = kFirstWide - U'!';
constexpr char32_t kIdeographicSpace = 0x3000;

}  // namespace

std::string HalfWidth(std::string_view utf8) {
  std::string narrow;
  narrow.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const std::size_t start = pos;
    const char32_t cp = platform::DecodeOne(utf8, pos);
    if (cp >= kFirstWide && cp <= kLastWide) {
      narrow += static_cast<char>(cp - kWideOffset);
    } else if (cp == kIdeographicSpace) {
      narrow += ' ';
    } else {
      narrow.append(utf8.substr(start, pos - start));
    }
  }
  return narrow;
}

}  // namespace orvo::store
