#include "platform/ResolvePath.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace orvo::platform {
namespace {

struct FreeMemory {
  void operator()(char* p) const { ::free(p); }
};

std::vector<std::string> NormalComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find_first_of("/\\", start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.emplace_back(part);
    }
    start = end + 1;
  }
  return parts;
}

}  // namespace

std::optional<std::string> ResolvePath(std::string_view path, LastLink last) {
  if (path.empty() || (path.front() != '/' && path.front() != '\\')) return std::nullopt;
  if (path.find('\0') != std::string_view::npos) return std::nullopt;
  const std::vector<std::string> parts = NormalComponents(path);
  std::string resolved;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const bool isLast = i + 1 == parts.size();
    std::string candidate = resolved + "/" + parts[i];
    if (isLast && last == LastLink::Keep) return candidate;
    struct stat st {};
    if (::lstat(candidate.c_str(), &st) != 0) {
      if (errno != ENOENT) return std::nullopt;
      // Nothing further exists, so nothing further can be a link.
      for (std::size_t j = i + 1; j < parts.size(); ++j) candidate += "/" + parts[j];
      return candidate;
    }
    if (S_ISLNK(st.st_mode)) {
      const std::unique_ptr<char, FreeMemory> real(::realpath(candidate.c_str(), nullptr));
      if (real) {
        candidate = real.get();
        if (candidate == "/") candidate.clear();
      } else if (!isLast) {
        return std::nullopt;
      }
    }
    resolved = std::move(candidate);
  }
  return resolved.empty() ? std::string("/") : resolved;
}

bool IsAtOrBelow(std::string_view path, std::string_view tree) {
  if (tree == "/") return true;
  if (!path.starts_with(tree)) return false;
  return path.size() == tree.size() || path[tree.size()] == '/';
}

std::string ParentFolder(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string_view::npos ? std::string("/")
                                                       : std::string(path.substr(0, slash));
}

std::optional<PatternParts> SplitPattern(std::string_view pattern) {
  const std::size_t cut = pattern.find_last_of("/\\");
  if (cut == std::string_view::npos) return std::nullopt;
  return PatternParts{cut == 0 ? std::string("/") : std::string(pattern.substr(0, cut)),
                      std::string(pattern.substr(cut + 1))};
}

}  // namespace orvo::platform
