// UTF-8 texts of the system to and from the UTF-16 texts of the Windows API. Pure functions.
#pragma once

#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace orvo::platform {

inline std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(SanitizeUtf8(utf8));
  return {units.begin(), units.end()};
}

inline std::string Narrow(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace orvo::platform
