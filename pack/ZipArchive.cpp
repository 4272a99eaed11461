#include "pack/ZipArchive.h"

#include <algorithm>
#include <system_error>

#include "pack/HostFiles.h"

namespace orvo::pack {
namespace {

constexpr std::size_t kCopyBytes = 1u << 20;
// Entries this small go out with their header in one write.
constexpr std::size_t kJoinedWriteBytes = 64u << 10;

// The temporary file is shorter than the stream written into it.
[[noreturn]] void FailShortSpill() {
  throw std::system_error(std::make_error_code(std::errc::io_error), "read");
}

}  // namespace

ZipArchive::CreateOutcome ZipArchive::Create(const std::string& path, ZipLimits limits) {
  host::ExclusiveFile created = host::CreateExclusive(path);
  CreateOutcome outcome;
  if (!created.file.IsOpen()) {
    outcome.reason = std::move(created.reason);
    return outcome;
  }
  outcome.archive = ZipArchive(std::move(created.file), path, created.identity, limits);
  return outcome;
}

void ZipArchive::Write(const char* data, std::size_t size) {
  file_.WriteAll(data, size);
  position_ += size;
}

void ZipArchive::CopySpill(platform::File& spill, uint64_t size) {
  const uint64_t copied = host::CopyDirect(spill, file_, size);
  position_ += copied;
  size -= copied;
  if (size == 0) return;
  std::string buffer(kCopyBytes, '\0');
  while (size > 0) {
    const std::size_t got = spill.Read(buffer.data(), std::min<uint64_t>(size, buffer.size()));
    if (got == 0) FailShortSpill();
    Write(buffer.data(), got);
    size -= got;
  }
}

void ZipArchive::Append(const TreeFile& file, CompressedFile& data) {
  EntryRecord entry;
  entry.name = file.entryName;
  const DosDateTime when = ToDosDateTime(file.data.lastWriteTime);
  entry.dosTime = when.time;
  entry.dosDate = when.date;
  entry.crc = data.crc;
  entry.compressedSize = data.compressedSize;
  entry.uncompressedSize = data.uncompressedSize;
  entry.localHeaderOffset = end_;
  entry.externalAttributes = file.data.attributes;

  std::string header = LocalHeader(entry, limits_);
  if (data.head.size() <= kJoinedWriteBytes) {
    header += data.head;
    Write(header.data(), header.size());
  } else {
    Write(header.data(), header.size());
    Write(data.head.data(), data.head.size());
  }
  if (data.spill.IsOpen()) CopySpill(data.spill, data.compressedSize - data.head.size());
  end_ = position_;
  entries_.push_back(std::move(entry));
}

void ZipArchive::Finish() {
  // Cut off whatever reached the file of an entry that failed (a write can fail half done): on a
  // full disk that gives back the room the directory needs.
  host::CutAt(file_, end_);
  position_ = end_;
  std::string directory;
  for (const EntryRecord& entry : entries_) directory += CentralRecord(entry, limits_);
  const uint64_t directorySize = directory.size();
  directory += EndRecords(entries_.size(), end_, directorySize, limits_);
  Write(directory.data(), directory.size());
  file_.Close();
}

void ZipArchive::Discard() {
  host::Discard(file_, path_, identity_);
}

}  // namespace orvo::pack
