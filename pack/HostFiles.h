// The host's side of folder packing: opening, creating and cutting files, temporary
// files, the system's error texts and local time. The packing logic above it is the same on every
// host; each host supplies the functions below from pack/posix/ or pack/windows/. Any thread; what
// raises says so.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <system_error>

#include "platform/File.h"

namespace orvo::pack {

// Which file an open file is, wherever it is reached from: device and inode on Linux, volume
// serial number and file index on Windows.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

namespace host {

// The system's text for an error raised by the functions here or by platform::File.
std::string ErrorText(const std::error_code& code);

// No error when `path` is a folder that can be listed; else the system's reason why not.
std::error_code FolderError(const std::string& path);

// FolderError as the system's text; empty when there is none.
inline std::string FolderProblem(const std::string& path) {
  const std::error_code error = FolderError(path);
  return error ? ErrorText(error) : std::string();
}

// Opens the plain file at `path` for reading; others may go on reading it (on Windows they may
// not write it meanwhile). Sets `size` to its length. On failure the file is closed and `reason`
// holds the system's text.
platform::File OpenToRead(const std::string& path, uint64_t& size, std::string& reason);

// A temporary file for reading and writing in `folder` that nobody else sees by name and that
// goes away when it is closed, even when the program ends without closing it. Raises
// std::system_error.
platform::File OpenTemporary(const std::string& folder);

// Moves the file's position back to its start. Raises std::system_error.
void Rewind(platform::File& file);

// Opens or creates the file at `path` for writing, held so that no one else can open it until it
// is closed, and cuts it to nothing. When someone else holds it, or it is not a plain file, the
// file is left as it was and `reason` says why.
struct ExclusiveFile {
  platform::File file;
  FileIdentity identity;
  std::string reason;  // when file is closed
};
ExclusiveFile CreateExclusive(const std::string& path);

// Copies up to `size` bytes from the position of `from` to that of `to` without a trip through
// this process where the system can, advancing both; returns how many it copied, which is less
// than `size` when the rest has to go through a buffer. Raises std::system_error.
uint64_t CopyDirect(platform::File& from, platform::File& to, uint64_t size);

// Cuts the file at `size` and moves its position there. Raises std::system_error.
void CutAt(platform::File& file, uint64_t size);

// Closes `file` and deletes the file at `path`, but only while it is still the one `identity`
// names (someone may have put another file there).
void Discard(platform::File& file, const std::string& path, const FileIdentity& identity);

// Whether the file at `path` (links followed) is the one `identity` names; false when it cannot be
// reached.
bool IsSameFile(const std::string& path, const FileIdentity& identity);

// Seconds since 1970 as local time; false where the host cannot represent the moment.
bool ToLocalTime(std::time_t seconds, std::tm& local);

}  // namespace host
}  // namespace orvo::pack
