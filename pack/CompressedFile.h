// One file deflated (raw deflate, zlib's default level) ahead of its place in the archive: the
// stream's first part in memory and, for streams that outgrow the memory share, the rest in a
// temporary file beside the archive that goes away when it is closed. Made and read by one thread
// at a time; handed between threads under the packer's lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/File.h"

namespace orvo::pack {

struct CompressedFile {
  uint32_t crc = 0;
  uint64_t uncompressedSize = 0;
  uint64_t compressedSize = 0;
  std::string head;      // the start of the deflate stream (all of it when spill is closed)
  platform::File spill;  // the rest, to be read from offset 0; closed when nothing spilled
};

// Why a file did not become a CompressedFile. The texts are the system's reasons.
struct CompressFailure {
  enum class Kind {
    Open,      // the file could not be opened (missing, not a plain file, no access)
    Read,      // it was opened but reading it failed
    Spill,     // the temporary file for the rest of the stream could not be made or written
    Cancelled  // the packing stopped before this file was done
  };
  Kind kind = Kind::Open;
  std::string reason;
};

struct CompressSettings {
  std::string spillFolder;             // where temporary files go: the archive's own folder
  std::size_t memoryBytes = 4u << 20;  // deflate output kept in memory per file
};

// Reads the file at `path` (opened read-only; others may go on reading it, but on Windows not
// write it) to its end and
// deflates it. `buffer` is the caller's reusable read buffer. Checks `cancel` between pieces.
// Raises nothing: every failure comes back as a CompressFailure.
struct CompressOutcome {
  std::optional<CompressedFile> file;
  CompressFailure failure;  // meaningful when file is empty
};
CompressOutcome CompressFile(const std::string& path, const CompressSettings& settings,
                             std::string& buffer, const std::atomic<bool>& cancel);

}  // namespace orvo::pack
