#include "pack/PackEntries.h"

#include "pack/HostFiles.h"
#include "pack/PackCore.h"

namespace orvo::pack {

PackResult PackEntries(const std::string& archivePath,
                       const std::function<std::optional<TreeFile>()>& next,
                       EntriesProgress& progress, const EntriesOptions& options,
                       const std::function<std::vector<MemoryEntry>()>& trailer) {
  const SourceMaker makeSource = [&next](const LeaveOut& archive) -> FileSource {
    // The caller's files may come from anywhere, the archive's own folder included.
    return [&next, archive]() -> std::optional<TreeFile> {
      for (;;) {
        std::optional<TreeFile> file = next();
        if (!file || !host::IsSameFile(file->fullPath, archive.identity)) return file;
      }
    };
  };
  return PackInto(archivePath, makeSource, progress, options, trailer);
}

}  // namespace orvo::pack
