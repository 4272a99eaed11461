// The archive while it is written, to a file or to a caller's sink through the same code: entries
// appended in order, then the central directory and end records. A file is created (or truncated)
// and held so that no one else can open it (an exclusive lock on Linux, no sharing on Windows)
// until it is closed; when an entry cannot be written it can still be finished with the entries
// before it. A sink takes bytes in order and nothing back. One thread. Append and Finish raise
// std::system_error, or whatever the sink raises; the destructor closes the file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pack/CompressedFile.h"
#include "pack/FolderWalk.h"
#include "pack/HostFiles.h"
#include "pack/PackStream.h"
#include "pack/ZipFormat.h"
#include "platform/File.h"

namespace orvo::pack {

class ZipArchive {
 public:
  struct CreateOutcome;
  // Creates or replaces the file at `path`. Fails (with the system's reason) when it cannot be
  // created or another holder has it locked; an existing file is then left as it was.
  static CreateOutcome Create(const std::string& path, ZipLimits limits);
  // Writes into `sink`, which must outlive the archive.
  static ZipArchive Stream(ArchiveSink& sink, ZipLimits limits);

  ZipArchive(ZipArchive&&) noexcept;
  ZipArchive& operator=(ZipArchive&&) noexcept;
  ~ZipArchive();

  // The file's identity; all zero for a sink.
  FileIdentity Identity() const { return identity_; }
  std::size_t Entries() const { return entries_.size(); }
  // Bytes of the whole entries and, once finished, of the directory and end records.
  uint64_t Size() const { return end_; }

  // Writes one entry: its local header with the final CRC and sizes, then the deflate stream.
  // After a failure the entry is not counted and Finish() drops what was written of it, which only
  // a file can: a sink must not be finished after a failed Append.
  void Append(const TreeFile& file, CompressedFile& data);
  // Writes the central directory and the end records after the last whole entry, cuts off
  // anything beyond, and closes the file.
  void Finish();
  // Closes the file without finishing it and deletes it, unless another file has taken its place.
  void Discard();

 private:
  class Output;
  class FileOutput;
  class SinkOutput;

  ZipArchive(std::unique_ptr<Output> output, FileIdentity identity, ZipLimits limits);

  void Write(const char* data, std::size_t size);
  void CopySpill(platform::File& spill, uint64_t size);

  std::unique_ptr<Output> output_;
  FileIdentity identity_;
  ZipLimits limits_;
  uint64_t end_ = 0;  // end of the last whole entry; of the archive once finished
  uint64_t position_ = 0;
  std::vector<EntryRecord> entries_;
};

struct ZipArchive::CreateOutcome {
  std::optional<ZipArchive> archive;
  std::string reason;  // when archive is empty
};

}  // namespace orvo::pack
