// File-system paths from and to the UTF-8 texts the system keeps. On Windows the standard
// library reads a plain std::string as the ANSI code page, which would garble (or refuse) a name
// outside it; going through char8_t keeps every name whole on both hosts. Pure functions.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orvo::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

inline std::filesystem::path Utf8Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// `name` in `folder`, with the host's separator between them unless the folder ends in one
// (either one, on Windows); an empty folder is the current one.
inline std::string JoinPath(std::string folder, std::string_view name) {
  if (folder.empty()) folder = ".";
  const char last = folder.back();
  if (last != '/' && last != kPathSeparator) folder += kPathSeparator;
  return folder.append(name);
}

}  // namespace orvo::platform
