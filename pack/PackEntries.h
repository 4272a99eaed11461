// An archive of files the caller chooses, under entry names the caller gives, written by the same
// parallel writer as folder packing (PackFolder is this over a FolderWalk), with two more
// abilities for collecting a class's work: a file that cannot be opened or read can be left out
// while the rest goes on, and each file's SHA-256 can be taken in the same read that deflates it.
// Entries after the files come from memory (a manifest made from the files that went in).
// Threads, failures and what becomes of the archive as for PackFolder.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pack/FolderWalk.h"
#include "pack/PackFolder.h"

namespace orvo::pack {

using Sha256Digest = std::array<unsigned char, 32>;

// A file whose entry is now in the archive.
struct PackedFile {
  const TreeFile& file;
  uint64_t bytes = 0;  // as read
  uint32_t crc = 0;
  Sha256Digest sha256{};  // all zero unless EntriesOptions::sha256
};

struct EntriesProgress : PackProgress {
  // After a file's entry is in the archive, in entry order.
  virtual void FilePacked(const PackedFile& packed) { (void)packed; }
  // A file left out under EntriesOptions::skipUnreadable (kind OpenFile or ReadFile, the
  // system's reason); the packing goes on with the next.
  virtual void FileSkipped(const TreeFile& file, PackError kind, const std::string& reason) {
    (void)file, (void)kind, (void)reason;
  }
};

struct EntriesOptions {
  PackOptions pack;
  bool skipUnreadable = false;
  bool sha256 = false;
};

// An entry written from memory after the files: deflated, UTF-8 name, stamped with the time of
// writing.
struct MemoryEntry {
  std::string name;
  std::string content;
};

// Packs the files `next` yields (their fullPath read, their entryName as the entry's name, their
// data giving time and attributes), until it yields nullopt, into `archivePath` (replaced when it
// exists), then the entries `trailer` returns, called once after the last file. A yielded file
// that is the archive itself is left out without a word. `next` and `trailer` run on the calling
// thread.
//
// FilePacking comes before each file with its relativePath (not for the archive itself, nor for
// trailer entries). The trailer is asked for only when every file went in or was skipped: after a
// failure that ends the packing (a file not skipped, the archive or a temporary file not written)
// the archive is finished without it. PackResult::entries counts trailer entries too; `complete`
// means the files and the trailer are all in (skipped files do not make it false).
PackResult PackEntries(const std::string& archivePath,
                       const std::function<std::optional<TreeFile>()>& next,
                       EntriesProgress& progress, const EntriesOptions& options,
                       const std::function<std::vector<MemoryEntry>()>& trailer = {});

}  // namespace orvo::pack
