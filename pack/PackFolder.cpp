#include "pack/PackFolder.h"

#include <memory>

#include "pack/FolderWalk.h"
#include "pack/HostFiles.h"
#include "pack/PackCore.h"
#include "platform/PathSyntax.h"

namespace orvo::pack {

std::string ArchivePathFor(const std::string& folder) {
  return platform::TrimSeparators(folder) + ".zip";
}

PackResult PackFolder(const std::string& folder, PackProgress& progress, unsigned workers) {
  PackOptions options;
  options.workers = workers;
  return PackFolder(folder, progress, options);
}

PackResult PackFolder(const std::string& folder, PackProgress& progress,
                      const PackOptions& options) {
  const std::string root = platform::TrimSeparators(folder);
  const std::string rootProblem = host::FolderProblem(root);
  if (!rootProblem.empty()) {
    PackResult result;
    result.archivePath = ArchivePathFor(root);
    Fail(result, PackError::OpenFile, root, rootProblem);
    return result;
  }
  std::unique_ptr<FolderWalk> walk;
  const SourceMaker makeSource = [&root, &walk, &options](const LeaveOut& archive) -> FileSource {
    walk = std::make_unique<FolderWalk>(root, archive, options.confined);
    return [&walk] { return walk->Next(); };
  };
  FolderProgress forward(progress);
  EntriesOptions entriesOptions;
  entriesOptions.pack = options;
  return PackInto(ArchivePathFor(root), makeSource, forward, entriesOptions, {});
}

}  // namespace orvo::pack
