#include "platform/ResolvePath.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/PortableName.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

// A path taken apart: "C:\" or "\\server\share", then the names below it.
struct Parts {
  std::wstring root;
  std::vector<std::wstring> names;
};

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty() || folder.back() == L'\\') return folder + name;
  return folder + L'\\' + name;
}

std::wstring Join(const Parts& parts, std::size_t count) {
  std::wstring path = parts.root;
  for (std::size_t i = 0; i < count; ++i) path = Join(path, parts.names[i]);
  return path;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// A name Windows takes as written: no stream or drive colon, no wildcard or other character a
// name cannot hold, no trailing dot or blank (Windows drops those, so the text would name a
// different entry from the one the file system opens), no device.
bool IsPlainName(std::wstring_view name) {
  if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
  for (const wchar_t c : name) {
    if (c < 0x20 || std::wstring_view(L":<>\"|?*").find(c) != std::wstring_view::npos) return false;
  }
  return !IsDeviceName(Narrow(name));
}

// The root and the names of an absolute path, "." and ".." taken away by the text; nullopt for
// anything but a drive or UNC path of plain names.
std::optional<Parts> TakeApart(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  Parts parts;
  std::size_t at = 0;
  const wchar_t drive = path.size() >= 3 ? path[0] : 0;
  if (((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z')) && path[1] == L':' &&
      path[2] == L'\\') {
    parts.root = {static_cast<wchar_t>(drive & ~0x20), L':', L'\\'};
    at = 3;
  } else if (path.starts_with(L"\\\\")) {
    // "\\?\" and "\\.\" reach devices and raw names; the first IsPlainName refuses them.
    const std::size_t serverEnd = path.find(L'\\', 2);
    if (serverEnd == std::wstring::npos) return std::nullopt;
    const std::size_t shareEnd = std::min(path.find(L'\\', serverEnd + 1), path.size());
    const std::wstring_view server = std::wstring_view(path).substr(2, serverEnd - 2);
    const std::wstring_view share =
        std::wstring_view(path).substr(serverEnd + 1, shareEnd - serverEnd - 1);
    if (!IsPlainName(server) || !IsPlainName(share)) return std::nullopt;
    parts.root = L"\\\\" + std::wstring(server) + L"\\" + std::wstring(share);
    at = shareEnd;
  } else {
    return std::nullopt;
  }
  while (at < path.size()) {
    const std::size_t end = std::min(path.find(L'\\', at), path.size());
    const std::wstring_view name = std::wstring_view(path).substr(at, end - at);
    if (name == L"..") {
      if (!parts.names.empty()) parts.names.pop_back();
    } else if (!name.empty() && name != L".") {
      if (!IsPlainName(name)) return std::nullopt;
      parts.names.emplace_back(name);
    }
    at = end + 1;
  }
  return parts;
}

// Whether Windows reads `path` as this very text; a path it would turn into something else (a
// device, another folder) is not one to hand on.
bool WindowsAgrees(const std::wstring& path) {
  std::wstring full(path.size() + 16, L'\0');
  const DWORD n =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  return n == path.size() && full.compare(0, n, path) == 0;
}

struct Found {
  std::wstring path;
  bool folder = false;
};

// The path the file system gives the entry at `path`, links, junctions and short names followed;
// nullopt with the reason in GetLastError when there is none.
std::optional<Found> FinalPath(const std::wstring& path) {
  const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  Found found;
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known =
      n != 0 && n < buffer.size() && GetFileInformationByHandle(handle, &information);
  const DWORD error = GetLastError();
  CloseHandle(handle);
  if (!known) {
    SetLastError(error == ERROR_SUCCESS ? ERROR_INVALID_NAME : error);
    return std::nullopt;
  }
  buffer.resize(n);
  if (buffer.starts_with(L"\\\\?\\UNC\\")) {
    found.path = L"\\\\" + buffer.substr(8);
  } else if (buffer.starts_with(L"\\\\?\\")) {
    found.path = buffer.substr(4);
  } else {
    found.path = buffer;
  }
  found.folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return found;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Length of the root of a resolved path: "C:\" or "\\server\share"; 0 for anything else.
std::size_t RootLength(std::string_view path) {
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') return 3;
  if (path.starts_with("\\\\")) {
    const std::size_t serverEnd = path.find('\\', 2);
    if (serverEnd == std::string_view::npos) return path.size();
    return std::min(path.find('\\', serverEnd + 1), path.size());
  }
  return 0;
}

}  // namespace

std::optional<std::string> ResolvePath(std::string_view path, LastLink last) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
  const auto parts = TakeApart(Wide(path));
  if (!parts || !WindowsAgrees(Join(*parts, parts->names.size()))) return std::nullopt;

  // The deepest part that exists is followed by the file system itself; what lies below it does
  // not exist, so it holds neither links nor short names.
  const std::size_t followed = last == LastLink::Keep && !parts->names.empty()
                                   ? parts->names.size() - 1
                                   : parts->names.size();
  std::size_t existing = followed;
  std::optional<Found> found;
  for (;;) {
    found = FinalPath(Join(*parts, existing));
    if (found) break;
    if (!IsMissing(GetLastError()) || existing == 0) return std::nullopt;
    --existing;
  }
  std::wstring resolved = found->path;
  if (existing < parts->names.size() && !found->folder) return std::nullopt;
  if (existing < followed) {
    // Something there that cannot be followed is a dangling link: allowed only as the last name.
    const std::wstring next = Join(resolved, parts->names[existing]);
    if (GetFileAttributesW(next.c_str()) != INVALID_FILE_ATTRIBUTES &&
        existing + 1 < parts->names.size()) {
      return std::nullopt;
    }
    for (std::size_t i = existing; i < followed; ++i) resolved = Join(resolved, parts->names[i]);
  }
  if (followed < parts->names.size()) {
    // The last name taken as itself, a link there not followed; a short name still becomes the
    // long one, so that no second spelling of a name slips past a comparison.
    std::wstring name = parts->names.back();
    if (existing == followed) {
      WIN32_FIND_DATAW entry{};
      const HANDLE find = FindFirstFileExW(Join(resolved, name).c_str(), FindExInfoStandard, &entry,
                                           FindExSearchNameMatch, nullptr, 0);
      if (find != INVALID_HANDLE_VALUE) {
        name = entry.cFileName;
        FindClose(find);
      }
    }
    resolved = Join(resolved, name);
  }
  return Narrow(resolved);
}

bool IsAtOrBelow(std::string_view path, std::string_view tree) {
  const std::wstring p = Wide(path);
  const std::wstring t = Wide(tree);
  if (t.empty() || p.size() < t.size() || !SameText(std::wstring_view(p).substr(0, t.size()), t))
    return false;
  return p.size() == t.size() || t.back() == L'\\' || p[t.size()] == L'\\';
}

std::string ParentFolder(std::string_view path) {
  const std::size_t root = RootLength(path);
  const std::size_t cut = path.rfind('\\');
  if (cut == std::string_view::npos || cut < root) return std::string(path.substr(0, root));
  return std::string(path.substr(0, cut));
}

std::optional<PatternParts> SplitPattern(std::string_view pattern) {
  const std::size_t cut = pattern.find_last_of("\\/");
  if (cut == std::string_view::npos) return std::nullopt;
  std::string folder(pattern.substr(0, cut));
  // "C:" alone is the current folder of drive C, not its root.
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return PatternParts{std::move(folder), std::string(pattern.substr(cut + 1))};
}

}  // namespace orvo::platform
