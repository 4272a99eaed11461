#include "platform/FindFiles.h"

#include <windows.h>

#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

uint64_t Join(DWORD high, DWORD low) {
  return uint64_t{high} << 32 | low;
}

uint64_t TimeOf(const FILETIME& time) {
  return Join(time.dwHighDateTime, time.dwLowDateTime);
}

FindData FromWindows(const WIN32_FIND_DATAW& found) {
  FindData data;
  data.attributes = found.dwFileAttributes;
  data.creationTime = TimeOf(found.ftCreationTime);
  data.lastAccessTime = TimeOf(found.ftLastAccessTime);
  data.lastWriteTime = TimeOf(found.ftLastWriteTime);
  data.size = Join(found.nFileSizeHigh, found.nFileSizeLow);
  // dwReserved0 means something only for a reparse point.
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    data.reparseTag = found.dwReserved0;
  data.name = Narrow(found.cFileName);
  data.alternateName = Narrow(found.cAlternateFileName);
  return data;
}

bool IsDotEntry(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == L'\0') ||
         (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

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
  if (folder.empty()) return {};
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
