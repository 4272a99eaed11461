// A folder packed as a zip archive straight into a byte stream (a download over the network),
// by the same parallel writer as PackFolder and the same bytes it would write to a file, with
// no archive file on disk: entries go out as they are finished, then the central directory.
// Deflate output beyond the memory allowance waits in temporary files in `spillFolder`.
// A stream cannot be cut back, so each entry goes out whole (its local header with the final CRC
// and sizes), and a file that cannot be opened or read is left out (as
// EntriesOptions::skipUnreadable) while the archive stays whole; a subfolder that cannot be listed
// is left out as PackFolder leaves it out. Anything else that stops the packing raises, and the
// archive is then never finished, so the receiver must break the transfer off: the sink's own
// exception (the browser went away), the progress object's, or a std::system_error when a
// temporary file cannot be written or read back. Whatever is raised leaves after every thread has
// ended and every temporary file is gone.
#pragma once

#include <cstddef>
#include <string>

#include "pack/PackFolder.h"

namespace orvo::pack {

// Where the archive's bytes go, in order. Write raises to end the packing.
class ArchiveSink {
 public:
  virtual ~ArchiveSink() = default;
  virtual void Write(const char* data, std::size_t size) = 0;
};

struct StreamResult {
  std::size_t entries = 0;  // files in the archive
  std::size_t skipped = 0;  // files left out because they could not be read
  uint64_t bytes = 0;       // archive bytes written to the sink
};

// Packs `folder` (entry names relative to it, as PackFolder names them) into `sink`.
// Raises std::system_error when the folder itself cannot be listed, before anything was written:
// its code says why (no such file or folder, not a folder, permission denied). The progress object
// is called on this thread before each file, as for PackFolder.
StreamResult PackFolderToStream(const std::string& folder, ArchiveSink& sink,
                                PackProgress& progress, const std::string& spillFolder,
                                const PackOptions& options = {});

}  // namespace orvo::pack
