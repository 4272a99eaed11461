// The packing loop that PackFolder, PackEntries and PackFolderToStream share: the files of a
// source deflated by the pipeline and appended in order; for archive files also the archive
// created, the trailer, and the archive finished or removed. Internal to pack/.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pack/FolderReader.h"
#include "pack/PackEntries.h"
#include "pack/Pipeline.h"
#include "pack/ZipArchive.h"

namespace orvo::pack {

// A folder packing's progress, which knows of files being packed only, where the loop reports to
// an EntriesProgress: files being packed are passed on, files left out counted.
class FolderProgress final : public EntriesProgress {
 public:
  explicit FolderProgress(PackProgress& progress) : progress_(progress) {}
  void FilePacking(const std::string& relativePath) override {
    progress_.FilePacking(relativePath);
  }
  void FileSkipped(const TreeFile&, PackError, const std::string&) override { ++skipped; }

  std::size_t skipped = 0;

 private:
  PackProgress& progress_;
};

// Records the failure's kind, its parts and its sentence for the error box.
void Fail(PackResult& result, PackError kind, const std::string& path, const std::string& reason);

// Deflates the files of `source` on the pipeline and appends them to `archive` in their order,
// until the source is over or a failure ends the packing; the failure is recorded in `result`,
// with `archiveName` for the archive or its temporary files. Under options.skipUnreadable a file
// that cannot be opened or read is left out and the rest goes on. With `writesRaise` a failure to
// write the archive raises instead of being recorded: a stream cannot be finished after one. Every
// worker has ended and every temporary file is closed when this returns or raises.
void PackFiles(ZipArchive& archive, const FileSource& source, const std::string& spillFolder,
               const std::string& archiveName, EntriesProgress& progress,
               const EntriesOptions& options, bool writesRaise, PackResult& result);

// Makes the source once the archive exists, so that the source can leave the archive out.
using SourceMaker = std::function<FileSource(const LeaveOut& archive)>;

// PackEntries' contract, with the source made by `makeSource`.
PackResult PackInto(const std::string& archivePath, const SourceMaker& makeSource,
                    EntriesProgress& progress, const EntriesOptions& options,
                    const std::function<std::vector<MemoryEntry>()>& trailer);

}  // namespace orvo::pack
