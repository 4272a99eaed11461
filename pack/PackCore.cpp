#include "pack/PackCore.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <system_error>
#include <thread>

#include "pack/CompressedFile.h"
#include "pack/HostFiles.h"
#include "pack/ZipArchive.h"
#include "platform/FindData.h"
#include "platform/PathSyntax.h"

namespace orvo::pack {
namespace {

PackError KindOf(CompressFailure::Kind kind) {
  switch (kind) {
    case CompressFailure::Kind::Open:
    case CompressFailure::Kind::Cancelled:
      return PackError::OpenFile;
    case CompressFailure::Kind::Read:
      return PackError::ReadFile;
    case CompressFailure::Kind::Spill:
      return PackError::WriteArchive;
  }
  return PackError::ReadFile;
}

// The entries from memory, stamped with the time of writing as plain files. Raises what
// ZipArchive::Append raises.
void AppendTrailer(ZipArchive& archive, const std::vector<MemoryEntry>& entries) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now);
  TreeFile file;
  file.data.attributes = platform::attr::kArchive;
  file.data.lastWriteTime = platform::ToFileTime(seconds.count(), 0);
  for (const MemoryEntry& entry : entries) {
    CompressedFile data = CompressMemory(entry.content);
    file.entryName = entry.name;
    file.relativePath = entry.name;
    file.data.size = entry.content.size();
    archive.Append(file, data);
  }
}

}  // namespace

void Fail(PackResult& result, PackError kind, const std::string& path, const std::string& reason) {
  const char* what = "";
  switch (kind) {
    case PackError::None:
      break;
    case PackError::CreateArchive:
      what = "Cannot create file";
      break;
    case PackError::OpenFile:
      what = "Cannot open file";
      break;
    case PackError::ReadFile:
      what = "Cannot read file";
      break;
    case PackError::WriteArchive:
      what = "Cannot write file";
      break;
  }
  result.errorKind = kind;
  result.errorPath = path;
  result.errorReason = reason;
  result.error = std::string(what) + " \"" + path + "\". " + reason;
}

void PackFiles(ZipArchive& archive, const FileSource& source, const std::string& spillFolder,
               const std::string& archiveName, EntriesProgress& progress,
               const EntriesOptions& options, bool writesRaise, PackResult& result) {
  unsigned workers = options.pack.workers;
  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  CompressSettings settings{spillFolder, options.pack.memoryBytesPerFile, options.sha256};
  Pipeline pipeline(source, settings, workers);  // its workers have ended when this is left
  while (Job* job = pipeline.Front()) {
    progress.FilePacking(job->file.relativePath);
    pipeline.Finish(*job);
    if (!job->outcome.file) {
      const CompressFailure& failure = job->outcome.failure;
      const PackError kind = KindOf(failure.kind);
      const bool unreadable = failure.kind == CompressFailure::Kind::Open ||
                              failure.kind == CompressFailure::Kind::Read;
      if (unreadable && options.skipUnreadable) {
        progress.FileSkipped(job->file, kind, failure.reason);
        pipeline.PopFront();
        continue;
      }
      Fail(result, kind, kind == PackError::WriteArchive ? archiveName : job->file.fullPath,
           failure.reason);
      return;
    }
    CompressedFile& data = *job->outcome.file;
    try {
      archive.Append(job->file, data);
    } catch (const std::system_error& e) {
      if (writesRaise) throw;
      Fail(result, PackError::WriteArchive, archiveName, host::ErrorText(e.code()));
      return;
    }
    progress.FilePacked({job->file, data.uncompressedSize, data.crc, data.sha256});
    pipeline.PopFront();
  }
}

PackResult PackInto(const std::string& archivePath, const SourceMaker& makeSource,
                    EntriesProgress& progress, const EntriesOptions& options,
                    const std::function<std::vector<MemoryEntry>()>& trailer) {
  PackResult result;
  result.archivePath = archivePath;
  ZipArchive::CreateOutcome created = ZipArchive::Create(archivePath, options.pack.limits);
  if (!created.archive) {
    Fail(result, PackError::CreateArchive, archivePath, created.reason);
    return result;
  }
  ZipArchive& archive = *created.archive;

  std::exception_ptr raised;
  try {
    const FileSource source = makeSource(LeaveOut{archivePath, archive.Identity()});
    PackFiles(archive, source, platform::FolderOf(archivePath), archivePath, progress, options,
              false, result);
    // The trailer describes the files that went in, so it follows only a source gone through.
    if (result.errorKind == PackError::None && trailer) {
      try {
        AppendTrailer(archive, trailer());
      } catch (const std::system_error& e) {
        Fail(result, PackError::WriteArchive, archivePath, host::ErrorText(e.code()));
      }
    }
  } catch (...) {
    raised = std::current_exception();
  }

  result.complete = result.error.empty() && !raised;
  try {
    archive.Finish();
    result.entries = archive.Entries();
    result.archiveKept = true;
  } catch (const std::system_error& e) {
    archive.Discard();
    result.complete = false;
    if (result.error.empty()) {
      Fail(result, PackError::WriteArchive, archivePath, host::ErrorText(e.code()));
    }
  }
  if (result.errorKind == PackError::WriteArchive) {
    result.error +=
        result.archiveKept
            ? ". The archive holds the " + std::to_string(result.entries) + " files packed before."
            : ". The archive was removed.";
  }
  if (raised) std::rethrow_exception(raised);
  return result;
}

}  // namespace orvo::pack
