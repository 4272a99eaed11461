// The host's path syntax on text alone, for paths of any kind (relative or absolute, resolved or
// not): which characters separate folder levels and where a root ends. On Windows both '\' and '/'
// separate levels and '\' is written; elsewhere '/' alone. Pure functions.
#pragma once

#include <string>
#include <string_view>

namespace orvo::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}
#else
inline constexpr char kPathSeparator = '/';
inline constexpr bool IsPathSeparator(char c) {
  return c == '/';
}
#endif

// Whether `path` names the root of its file system ("/", "C:\", "\"), where trailing separators
// are part of the name.
inline bool IsRootPath(std::string_view path) {
  if (path.size() == 1) return IsPathSeparator(path[0]);
#ifdef _WIN32
  return path.size() == 3 && path[1] == ':' && IsPathSeparator(path[2]);
#else
  return false;
#endif
}

// The path without trailing separators, except where they make a root.
inline std::string TrimSeparators(std::string path) {
  while (path.size() > 1 && IsPathSeparator(path.back()) && !IsRootPath(path)) path.pop_back();
  return path;
}

// The folder holding `path`: everything before its last separator, that separator kept for a
// root; "." for a bare name.
inline std::string FolderOf(std::string_view path) {
  std::size_t at = path.size();
  while (at > 0 && !IsPathSeparator(path[at - 1])) --at;
  if (at == 0) return ".";
  const std::string_view withSeparator = path.substr(0, at);
  return std::string(IsRootPath(withSeparator) ? withSeparator : path.substr(0, at - 1));
}

// `name` in `folder`, with the host's separator between them unless the folder ends in one; an
// empty folder is the current one.
inline std::string JoinPath(std::string folder, std::string_view name) {
  if (folder.empty()) folder = ".";
  if (!IsPathSeparator(folder.back())) folder += kPathSeparator;
  return folder.append(name);
}

}  // namespace orvo::platform
