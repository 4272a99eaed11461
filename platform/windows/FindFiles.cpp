#include "platform/FindFiles.h"

#include <windows.h>

#include "platform/FindPattern.h"
#include "platform/windows/FindRecord.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

// Every entry a find over `pattern` yields, in the file system's order, "." and ".." left out.
std::vector<FindData> Find(const std::wstring& pattern) {
  std::vector<FindData> found;
  WIN32_FIND_DATAW entry{};
  const HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &entry,
                                       FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    if (!IsDotEntry(entry.cFileName)) found.push_back(FromWindows(entry));
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return found;
}

}  // namespace

std::vector<FindData> FindMatching(const std::string& folder, std::string_view pattern) {
  // The system would read the folder only to refuse the pattern's length.
  if (folder.empty() || !FitsAName(pattern)) return {};
  std::wstring full = Wide(folder);
  if (full.back() != L'\\') full += L'\\';
  return Find(full + Wide(pattern));
}

std::optional<FindData> DescribeEntry(const std::string& path) {
  // Without wildcards a find names one entry; these characters would make it a pattern again.
  if (path.empty() || path.back() == '\\' || path.back() == '/' ||
      path.find_first_of("*?<>\"") != std::string::npos) {
    return std::nullopt;
  }
  std::vector<FindData> found = Find(Wide(path));
  if (found.size() != 1) return std::nullopt;
  return std::move(found.front());
}

}  // namespace orvo::platform
