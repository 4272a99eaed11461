#include "pack/ZipArchive.h"

#include <algorithm>
#include <stdexcept>
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

// Where the bytes go. Everything but Write has nothing to do for a sink.
class ZipArchive::Output {
 public:
  virtual ~Output() = default;
  virtual void Write(const char* data, std::size_t size) = 0;
  // Moves up to `size` bytes from the position of `spill` without a trip through this process;
  // returns how many.
  virtual uint64_t CopyDirect(platform::File& spill, uint64_t size) = 0;
  // Drops everything from `size` on.
  virtual void CutAt(uint64_t size) = 0;
  virtual void Close() = 0;
  virtual void Discard() = 0;
};

class ZipArchive::FileOutput final : public Output {
 public:
  FileOutput(platform::File file, std::string path, FileIdentity identity)
      : file_(std::move(file)), path_(std::move(path)), identity_(identity) {}
  void Write(const char* data, std::size_t size) override { file_.WriteAll(data, size); }
  uint64_t CopyDirect(platform::File& spill, uint64_t size) override {
    return host::CopyDirect(spill, file_, size);
  }
  void CutAt(uint64_t size) override { host::CutAt(file_, size); }
  void Close() override { file_.Close(); }
  void Discard() override { host::Discard(file_, path_, identity_); }

 private:
  platform::File file_;
  std::string path_;
  FileIdentity identity_;
};

class ZipArchive::SinkOutput final : public Output {
 public:
  explicit SinkOutput(ArchiveSink& sink) : sink_(sink) {}
  void Write(const char* data, std::size_t size) override {
    sink_.Write(data, size);
    written_ += size;
  }
  uint64_t CopyDirect(platform::File&, uint64_t) override { return 0; }
  void CutAt(uint64_t size) override {
    // What the sink took is gone; an archive finished after a torn entry would be corrupt.
    if (size != written_) throw std::logic_error("a stream cannot be cut back");
  }
  void Close() override {}
  void Discard() override {}

 private:
  ArchiveSink& sink_;
  uint64_t written_ = 0;  // what the sink took without raising
};

ZipArchive::ZipArchive(std::unique_ptr<Output> output, FileIdentity identity, ZipLimits limits)
    : output_(std::move(output)), identity_(identity), limits_(limits) {}
ZipArchive::ZipArchive(ZipArchive&&) noexcept = default;
ZipArchive& ZipArchive::operator=(ZipArchive&&) noexcept = default;
ZipArchive::~ZipArchive() = default;

ZipArchive::CreateOutcome ZipArchive::Create(const std::string& path, ZipLimits limits) {
  host::ExclusiveFile created = host::CreateExclusive(path);
  CreateOutcome outcome;
  if (!created.file.IsOpen()) {
    outcome.reason = std::move(created.reason);
    return outcome;
  }
  outcome.archive =
      ZipArchive(std::make_unique<FileOutput>(std::move(created.file), path, created.identity),
                 created.identity, limits);
  return outcome;
}

ZipArchive ZipArchive::Stream(ArchiveSink& sink, ZipLimits limits) {
  return ZipArchive(std::make_unique<SinkOutput>(sink), FileIdentity{}, limits);
}

void ZipArchive::Write(const char* data, std::size_t size) {
  output_->Write(data, size);
  position_ += size;
}

void ZipArchive::CopySpill(platform::File& spill, uint64_t size) {
  const uint64_t copied = output_->CopyDirect(spill, size);
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
  output_->CutAt(end_);
  position_ = end_;
  std::string directory;
  for (const EntryRecord& entry : entries_) directory += CentralRecord(entry, limits_);
  const uint64_t directorySize = directory.size();
  directory += EndRecords(entries_.size(), end_, directorySize, limits_);
  Write(directory.data(), directory.size());
  end_ = position_;
  output_->Close();
}

void ZipArchive::Discard() {
  output_->Discard();
}

}  // namespace orvo::pack
