// Folder packing: a folder tree into one zip archive beside it, named after the folder plus
// ".zip". Entries follow the tree's order (a folder's plain files as the file system lists them,
// then each subfolder depth first; no entries for folders), deflated at zlib's default level
// with UTF-8 names, MS-DOS times of the last write and the files' Windows attribute bits. Several
// files are deflated at once on worker threads while the archive is written in that order; the
// archive is byte for byte the one a single thread writes.
//
// Call from one thread at a time per folder; the progress object is called on that thread only.
// Failures come back in PackResult; only an exception raised by the progress object (or a lack
// of memory) leaves PackFolder, after the archive has been finished with the entries before and
// every worker has ended. Files are opened read-only. On Windows others may go on reading a file
// while it is packed but not write it, and a file someone holds open for writing cannot be packed.
// On Linux nothing stops another program from writing a file while it is read (there are no
// sharing modes), but the service's own uploads never write into the file they replace, so they
// cannot tear it.
#pragma once

#include <cstddef>
#include <string>

#include "pack/ZipFormat.h"

namespace orvo::pack {

struct PackProgress {
  virtual ~PackProgress() = default;
  // Before each file, in entry order, with its path relative to the packed folder (the host's
  // separator between levels, as on disk). The console shows it, and raises here to end a
  // packing early.
  virtual void FilePacking(const std::string& relativePath) = 0;
};

// What stopped a packing, so that callers tell failures apart without reading messages.
enum class PackError {
  None,
  CreateArchive,  // the archive could not be created; nothing was packed
  OpenFile,       // the folder or one of its files could not be opened
  ReadFile,       // a file could not be read to its end
  WriteArchive,   // the archive (or a temporary file beside it) could not be written
};

struct PackResult {
  std::string archivePath;
  // Files in the archive as it was closed.
  std::size_t entries = 0;
  // Every file of the tree went in; `error` is empty.
  bool complete = false;
  PackError errorKind = PackError::None;
  // A closed, readable archive of `entries` files lies at archivePath. After "Cannot open file"
  // and most write failures the archive is finished with the files packed before the failure;
  // false when it could not be created, or could not be finished and was removed.
  bool archiveKept = false;
  // For the error box: "Cannot create file "<archive>". <reason>" (nothing was packed; an
  // existing archive stays as it was), "Cannot open file "<file>". <reason>" or "Cannot read file
  // "<file>". <reason>" (packing ended at that file), or "Cannot write file "<archive>". <reason>"
  // followed by what became of the archive.
  std::string error;
  // The same failure in parts, for front ends that word it in their own language: the file or
  // folder it concerns (the archive for CreateArchive and WriteArchive) and the system's reason.
  std::string errorPath;
  std::string errorReason;
};

struct PackOptions {
  // Files deflated at once. 1: on the calling thread, no threads started; more: that many worker
  // threads while the calling thread lists and writes; 0: one per core.
  unsigned workers = 0;
  // Deflate output of one file held in memory; the rest of a bigger file waits in a temporary
  // file beside the archive. The files in flight hold at most about 4 x workers times this.
  std::size_t memoryBytesPerFile = 4u << 20;
  ZipLimits limits;  // only tests change these
  // Links that lead out of the folder are left out, files and folders alike: an archive for
  // someone who may reach only what lies inside it (a student's own folder).
  bool confined = false;
};

// The folder path without trailing separators followed by ".zip". A root keeps its separator:
// "/" gives "/.zip", "C:\" gives "C:\.zip" (and the archive is then left out of the walk).
std::string ArchivePathFor(const std::string& folder);

// Packs `folder` into ArchivePathFor(folder), replacing a file of that name. On Linux folder links
// are followed, but no folder is packed twice and none without end; on Windows junctions and
// symbolic links to folders are not followed at all; the archive itself is never
// packed into itself. Files of 4 GiB or more, archives past 4 GiB and more than 65,535 entries
// get Zip64 records for just the values that need them.
PackResult PackFolder(const std::string& folder, PackProgress& progress, unsigned workers = 0);
PackResult PackFolder(const std::string& folder, PackProgress& progress,
                      const PackOptions& options);

}  // namespace orvo::pack
