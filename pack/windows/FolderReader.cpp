#include "pack/FolderReader.h"

#include <windows.h>

#include "pack/windows/WindowsFiles.h"
#include "platform/PathSyntax.h"
#include "platform/windows/FindRecord.h"
#include "platform/windows/WideText.h"

namespace orvo::pack {
namespace {

bool StartsWith(const wchar_t* name, std::wstring_view prefix) {
  return std::wstring_view(name).substr(0, prefix.size()) == prefix;
}

// Junctions and symbolic links to folders are not followed, so no link can lead the walk in a
// circle. Other reparse points on folders (files kept in the cloud, for one) are real folders.
// A folder whose reparse tag the system does not give counts as a link.
bool IsFolderLink(const WIN32_FIND_DATAW& found) {
  const DWORD both = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return (found.dwFileAttributes & both) == both &&
         (found.dwReserved0 == 0 || IsReparseTagNameSurrogate(found.dwReserved0));
}

}  // namespace

struct FolderReader::State {
  std::string path;
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW found{};
  bool pending = false;  // `found` holds an entry not yet returned
};

FolderReader::FolderReader(const std::string& path) : state_(std::make_unique<State>()) {
  state_->path = path;
  // Basic information: the walk needs no short names, and the system can skip making them.
  state_->find =
      FindFirstFileExW(host::LongPath(platform::JoinPath(path, "*")).c_str(), FindExInfoBasic,
                       &state_->found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  state_->pending = state_->find != INVALID_HANDLE_VALUE;
}

FolderReader::~FolderReader() {
  if (state_->find != INVALID_HANDLE_VALUE) FindClose(state_->find);
}

bool FolderReader::IsOpen() const {
  return state_->find != INVALID_HANDLE_VALUE;
}

std::optional<FileIdentity> FolderReader::Identity() const {
  // No hard links to folders and no links followed: every folder is reached once only.
  return std::nullopt;
}

std::optional<FolderEntry> FolderReader::Next() {
  while (state_->pending) {
    const WIN32_FIND_DATAW& found = state_->found;
    const bool skip = platform::IsDotEntry(found.cFileName) || IsFolderLink(found) ||
                      ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                       StartsWith(found.cFileName, host::kTemporaryPrefix));
    std::optional<FolderEntry> entry;
    if (!skip) {
      entry.emplace();
      entry->data = platform::FromWindows(found);
    }
    state_->pending = FindNextFileW(state_->find, &state_->found) != 0;
    if (entry) return entry;
  }
  return std::nullopt;
}

bool FolderReader::Is(const FolderEntry& entry, const LeaveOut& leaveOut) const {
  // With no links followed, the archive can lie in the tree under one path only: the one the walk
  // builds from the same root as the archive's path. Names compare as the file system does.
  const std::wstring path = platform::Wide(platform::JoinPath(state_->path, entry.data.name));
  const std::wstring archive = platform::Wide(leaveOut.path);
  return CompareStringOrdinal(path.c_str(), static_cast<int>(path.size()), archive.c_str(),
                              static_cast<int>(archive.size()), TRUE) == CSTR_EQUAL;
}

std::optional<std::string> RealPath(const std::string& path) {
  // No links are followed here, so the full path is as real as the walk can tell.
  const std::wstring wide = platform::Wide(path);
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::nullopt;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return std::nullopt;
  full.resize(length);
  return platform::Narrow(full);
}

}  // namespace orvo::pack
