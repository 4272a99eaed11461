#include "pack/PackStream.h"

#include <optional>
#include <system_error>

#include "pack/FolderWalk.h"
#include "pack/HostFiles.h"
#include "pack/PackCore.h"
#include "pack/ZipArchive.h"
#include "platform/PathSyntax.h"

namespace orvo::pack {

StreamResult PackFolderToStream(const std::string& folder, ArchiveSink& sink,
                                PackProgress& progress, const std::string& spillFolder,
                                const PackOptions& options) {
  const std::string root = platform::TrimSeparators(folder);
  const std::string cannotList = "cannot list folder \"" + root + "\"";
  if (const std::error_code error = host::FolderError(root))
    throw std::system_error(error, cannotList);
  // The walk lists the root as it is made. A folder that exists but cannot be opened is one the
  // system refuses to let us read.
  FolderWalk walk(root, std::nullopt, options.confined);
  if (!walk.UnreadableFolders().empty()) {
    throw std::system_error(std::make_error_code(std::errc::permission_denied), cannotList);
  }

  ZipArchive archive = ZipArchive::Stream(sink, options.limits);
  const FileSource source = [&walk] { return walk.Next(); };
  FolderProgress counting(progress);
  EntriesOptions entriesOptions;
  entriesOptions.pack = options;
  entriesOptions.skipUnreadable = true;
  PackResult failure;
  PackFiles(archive, source, spillFolder, spillFolder, counting, entriesOptions, true, failure);
  // With unreadable files skipped, only the temporary files can have failed.
  if (failure.errorKind != PackError::None) {
    throw std::system_error(
        std::make_error_code(std::errc::io_error),
        "cannot write a temporary file in \"" + spillFolder + "\": " + failure.errorReason);
  }
  archive.Finish();

  StreamResult result;
  result.entries = archive.Entries();
  result.skipped = counting.skipped;
  result.bytes = archive.Size();
  return result;
}

}  // namespace orvo::pack
