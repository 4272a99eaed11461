// One file deflated (raw deflate, zlib's default level) ahead of its place in the archive: the
// stream's first part in memory and, for streams that outgrow the memory share, the rest in a
// temporary file beside the archive that goes away when it is closed. Made and read by one thread
// at a time; handed between threads under the packer's lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/File.h"
#include "platform/Sha256.h"

namespace orvo::pack {

struct CompressedFile {
  uint32_t crc = 0;
  uint64_t uncompressedSize = 0;
  uint64_t compressedSize = 0;
  std::string head;      // the start of the deflate stream (all of it when spill is closed)
  platform::File spill;  // the rest, to be read from offset 0; closed when nothing spilled
  platform::Sha256::Digest sha256{};  // of the bytes read; all zero unless asked for
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
  bool sha256 = false;                 // take the SHA-256 of the bytes as they are read
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

// `content` deflated whole into memory, for entries made by the program rather than read from
// files. Raises std::bad_alloc (and std::runtime_error should zlib refuse).
CompressedFile CompressMemory(std::string_view content);

}  // namespace orvo::pack
