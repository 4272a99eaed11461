// File-system paths from and to the UTF-8 texts the system keeps. On Windows the standard
// library reads a plain std::string as the ANSI code page, which would garble (or refuse) a name
// outside it; going through char8_t keeps every name whole on both hosts. Pure functions.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/PathSyntax.h"

namespace orvo::platform {

inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace orvo::platform
