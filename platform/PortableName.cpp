#include "platform/PortableName.h"

#include <array>

namespace orvo::platform {
namespace {

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameAsciiText(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (AsciiUpper(text[i]) != upper[i]) return false;
  }
  return true;
}

bool IsPortNumber(std::string_view digit) {
  if (digit.size() == 1) return digit[0] >= '1' && digit[0] <= '9';
  // U+00B9, U+00B2, U+00B3 in UTF-8.
  return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// The UTF-8 forms of U+200E, U+200F, U+202A-U+202E and U+2066-U+2069.
bool IsBidiFormatting(std::string_view name, std::size_t at) {
  if (name.size() - at < 3 || name[at] != '\xE2') return false;
  const auto second = static_cast<unsigned char>(name[at + 1]);
  const auto third = static_cast<unsigned char>(name[at + 2]);
  if (second == 0x80) return third == 0x8E || third == 0x8F || (third >= 0xAA && third <= 0xAE);
  return second == 0x81 && third >= 0xA6 && third <= 0xA9;
}

}  // namespace

bool IsDeviceName(std::string_view name) {
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  static constexpr std::array<std::string_view, 6> kFixed = {"CON", "PRN",    "AUX",
                                                             "NUL", "CONIN$", "CONOUT$"};
  for (const std::string_view device : kFixed) {
    if (SameAsciiText(stem, device)) return true;
  }
  if (stem.size() < 4) return false;
  const std::string_view prefix = stem.substr(0, 3);
  return (SameAsciiText(prefix, "COM") || SameAsciiText(prefix, "LPT")) &&
         IsPortNumber(stem.substr(3));
}

bool IsPortableName(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (std::size_t at = 0; at < name.size(); ++at) {
    const auto c = static_cast<unsigned char>(name[at]);
    if (c < 0x20 || c == 0x7F) return false;
    if (std::string_view("<>:\"/\\|?*").find(name[at]) != std::string_view::npos) return false;
    if (IsBidiFormatting(name, at)) return false;
  }
  return !IsDeviceName(name);
}

}  // namespace orvo::platform
