// The archive file while it is written: created (or truncated) and held so that no one else can
// open it (an exclusive lock on Linux, no sharing on Windows) until it is closed, entries appended
// in order, then the central directory and end records. When an entry cannot be written, the
// archive can still be finished with the entries before it. One thread. Append and Finish raise
// std::system_error; the destructor closes the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pack/CompressedFile.h"
#include "pack/FolderWalk.h"
#include "pack/HostFiles.h"
#include "pack/ZipFormat.h"
#include "platform/File.h"

namespace orvo::pack {

class ZipArchive {
 public:
  struct CreateOutcome;
  // Creates or replaces the file at `path`. Fails (with the system's reason) when it cannot be
  // created or another holder has it locked; an existing file is then left as it was.
  static CreateOutcome Create(const std::string& path, ZipLimits limits);

  ZipArchive(ZipArchive&&) noexcept = default;
  ZipArchive& operator=(ZipArchive&&) noexcept = default;

  FileIdentity Identity() const { return identity_; }
  std::size_t Entries() const { return entries_.size(); }

  // Writes one entry: its local header with the final CRC and sizes, then the deflate stream.
  // After a failure the entry is not counted and Finish() drops what was written of it.
  void Append(const TreeFile& file, CompressedFile& data);
  // Writes the central directory and the end records after the last whole entry, cuts off
  // anything beyond, and closes the file.
  void Finish();
  // Closes the file without finishing it and deletes it, unless another file has taken its place.
  void Discard();

 private:
  ZipArchive(platform::File file, std::string path, FileIdentity identity, ZipLimits limits)
      : file_(std::move(file)), path_(std::move(path)), identity_(identity), limits_(limits) {}

  void Write(const char* data, std::size_t size);
  void CopySpill(platform::File& spill, uint64_t size);

  platform::File file_;
  std::string path_;
  FileIdentity identity_;
  ZipLimits limits_;
  uint64_t end_ = 0;  // end of the last whole entry
  uint64_t position_ = 0;
  std::vector<EntryRecord> entries_;
};

struct ZipArchive::CreateOutcome {
  std::optional<ZipArchive> archive;
  std::string reason;  // when archive is empty
};

}  // namespace orvo::pack
