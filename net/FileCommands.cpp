#include "net/FileCommands.h"
#include "net/FileOperations.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/SplitAtFirst.h"
#include "net/Framing.h"
#include "net/PathGuard.h"
#include "net/UploadAllowance.h"
#include "platform/ByteOrder.h"
#include "platform/ExclusiveUse.h"
#include "platform/FileSystem.h"
#include "platform/FindFiles.h"
#include "platform/FindPattern.h"
#include "platform/MoveEntry.h"
#include "platform/PortableName.h"
#include "platform/ReplacementFile.h"
#include "platform/ResolvePath.h"

namespace orvo::net {
namespace {

using platform::LastLink;

// The most records a LIST reply's 32-bit byte count can announce.
constexpr std::size_t kMaxListedEntries = UINT32_MAX / platform::kFindDataBytes;

PathGuard GuardFor(const FileRoots& roots) {
  return PathGuard({roots.rootPath, roots.publicPath});
}

// The entries a pattern lists: a folder's matching entries when the last component holds
// wildcards (only the folder is confined), else the one entry the path names.
std::vector<platform::FindData> ListedEntries(const std::string& pattern, const PathGuard& guard) {
  const auto parts = platform::SplitPattern(pattern);
  if (!parts) return {};
  if (platform::HasWildcards(parts->last)) {
    const auto folder = guard.Confine(parts->folder, LastLink::Follow);
    if (!folder || parts->last.find('\0') != std::string::npos) return {};
    return platform::FindMatching(*folder, parts->last);
  }
  // A trailing separator names no entry, as on Windows.
  if (parts->last.empty()) return {};
  const auto path = guard.Confine(pattern, LastLink::Keep);
  if (!path) return {};
  std::vector<platform::FindData> entries;
  if (auto entry = platform::DescribeEntry(*path)) entries.push_back(std::move(*entry));
  return entries;
}

// The name of the entry at a resolved path: what a command that creates it creates.
std::string_view NameOf(std::string_view path) {
  std::string_view name = path.substr(std::min(platform::ParentFolder(path).size(), path.size()));
  if (!name.empty() && (name.front() == '/' || name.front() == '\\')) name.remove_prefix(1);
  return name;
}

// The student's own folder, when `path` lies in it: the tree a quota counts.
std::optional<std::string> StudentFolderHolding(const std::string& path, const FileRoots& roots) {
  auto folder = PathGuard({roots.rootPath}).Confine(roots.rootPath, LastLink::Follow);
  if (!folder || !platform::IsAtOrBelow(path, *folder)) return std::nullopt;
  return folder;
}

// Takes the bytes of an upload as they arrive, no space ahead of them, and refuses the upload
// once it would bring more than its allowance: at the announced size, before any byte is read,
// or, for a block that runs until the close, at the byte that goes over.
class UploadSink final : public ByteSink {
 public:
  UploadSink(platform::File& file, uint64_t allowance) : file_(file), allowance_(allowance) {}
  void Reserve(uint64_t size) override {
    if (size > allowance_) Refuse();
  }
  void Write(const char* data, std::size_t size) override {
    if (size > allowance_ - written_) Refuse();
    written_ += size;
    file_.WriteAll(data, size);
  }

 private:
  [[noreturn]] static void Refuse() {
    throw std::system_error(std::make_error_code(std::errc::no_space_on_device),
                            "upload beyond the free-space reserve or the quota");
  }

  platform::File& file_;
  uint64_t allowance_;
  uint64_t written_ = 0;
};

}  // namespace

void DoReqList(Connection& connection, const std::string& param, const FileRoots& roots) {
  std::vector<platform::FindData> entries;
  if (!param.empty()) entries = ListedEntries(param, GuardFor(roots));
  // The count is 32 bits: a folder with more entries than it can announce lists the first ones.
  entries.resize(std::min(entries.size(), kMaxListedEntries));
  // Records have a fixed size, so the count is known before any is encoded: they are encoded a
  // piece at a time as they go out, and a folder of tens of thousands of entries never sits in
  // memory as one reply.
  std::string piece =
      platform::Le32Bytes(static_cast<uint32_t>(entries.size() * platform::kFindDataBytes));
  ByteStream& stream = connection.Stream();
  const bool severalPieces = 4 + entries.size() * platform::kFindDataBytes > kPieceBytes;
  if (severalPieces) stream.Cork(true);
  for (const platform::FindData& entry : entries) {
    piece += platform::EncodeFindData(entry);
    if (piece.size() >= kPieceBytes) {
      stream.SendAll(piece.data(), piece.size());
      piece.clear();
    }
  }
  if (!piece.empty()) stream.SendAll(piece.data(), piece.size());
  if (severalPieces) stream.Cork(false);
}

void DoreqGet(Connection& connection, const std::string& param, const FileRoots& roots) {
  auto use = ClaimDownload(param, roots);
  if (!use || use->Size() > kMaxCountedBlockBytes) return;
  try {
    SendCountedBlock(connection, *use->OpenFile());
  } catch (const std::system_error&) {
    // Some of the block may be out already: the reply is broken, so the connection must end.
    throw ConnectionError("file read failed during a download");
  }
}

void DoreqPut(Connection& connection, const std::string& param, const FileRoots& roots) {
  ReceiveUpload(param, roots, [&](ByteSink& sink) { ReceiveCountedBlock(connection, sink); });
}

void DoreqMKDir(Connection& /*connection*/, const std::string& param, const FileRoots& roots) {
  std::string_view folder = param;
  if (folder.ends_with('\\')) folder.remove_suffix(1);
  MakeFolders(std::string(folder), roots);
}

void DoreqDelete(Connection& /*connection*/, const std::string& param, const FileRoots& roots) {
  DeleteEntry(param, roots);
}

void DoReqMove(Connection& /*connection*/, const std::string& param, const FileRoots& roots) {
  const core::HeadTail parts = core::SplitAtFirst(param, '|');
  MoveEntryTo(parts.head, parts.tail, roots, false);
}

std::optional<std::string> ResolveFolder(const std::string& clientPath, const FileRoots& roots) {
  auto folder = GuardFor(roots).Confine(clientPath, LastLink::Follow);
  if (!folder || !platform::IsFolder(*folder)) return std::nullopt;
  return folder;
}

std::optional<std::vector<platform::FindData>> ListFolder(const std::string& clientPath,
                                                          const FileRoots& roots) {
  const auto folder = ResolveFolder(clientPath, roots);
  if (!folder) return std::nullopt;
  return platform::FindMatching(*folder, "*");
}

std::optional<platform::ExclusiveUse> ClaimDownload(const std::string& clientPath,
                                                    const FileRoots& roots) {
  const auto path = GuardFor(roots).Confine(clientPath, LastLink::Follow);
  if (!path) return std::nullopt;
  // Downloads of one file share it (a whole class fetching one handout); an upload, deletion or
  // move of it is refused until all of them have ended.
  auto use = platform::ExclusiveUse::Claim(*path, platform::Sharing::Readers);
  if (!use || use->Kind() != platform::EntryKind::File || use->OpenFile() == nullptr) {
    return std::nullopt;
  }
  return use;
}

FileOutcome ReceiveUpload(const std::string& clientPath, const FileRoots& roots,
                          const std::function<void(ByteSink&)>& receive) {
  const PathGuard guard = GuardFor(roots);
  const auto path = guard.Confine(clientPath, LastLink::Follow);
  if (!path || guard.HoldsRoot(*path) || !platform::IsPortableName(NameOf(*path))) {
    return FileOutcome::Refused;
  }
  if (platform::IsFolder(*path)) return FileOutcome::Exists;
  auto upload = platform::ReplacementFile::Open(*path);
  if (!upload) return platform::Exists(*path) ? FileOutcome::InUse : FileOutcome::Failed;
  const uint64_t allowance = UploadAllowance(
      {*path, upload->ReplacedBytes(), StudentFolderHolding(*path, roots)}, roots.upload);
  UploadSink sink(upload->Content(), allowance);
  try {
    receive(sink);
    upload->Commit();
    return FileOutcome::Done;
  } catch (const std::system_error& e) {
    // Refused for its size, a full disk or a failed write: the old file stays and the rest of the
    // upload goes unread.
    return e.code() == std::errc::no_space_on_device ? FileOutcome::NoSpace : FileOutcome::Failed;
  }
}

FileOutcome MakeFolders(const std::string& clientPath, const FileRoots& roots) {
  const PathGuard guard = GuardFor(roots);
  const auto path = guard.Confine(clientPath, LastLink::Follow);
  if (!path) return FileOutcome::Refused;
  if (platform::IsFolder(*path)) return FileOutcome::Exists;
  std::vector<std::string> missing;
  for (std::string level = *path; !platform::Exists(level);) {
    missing.push_back(level);
    std::string parent = platform::ParentFolder(level);
    // A drive that is not there is its own missing parent.
    if (parent == level) break;
    level = std::move(parent);
  }
  if (missing.empty()) return FileOutcome::Exists;  // a file has the name
  for (const std::string& level : missing) {
    if (!guard.Contains(level) || !platform::IsPortableName(NameOf(level))) {
      return FileOutcome::Refused;
    }
  }
  // Top down; levels made before a failure stay.
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    if (!platform::MakeFolder(*level)) return FileOutcome::Failed;
  }
  return FileOutcome::Done;
}

FileOutcome DeleteEntry(const std::string& clientPath, const FileRoots& roots) {
  const PathGuard guard = GuardFor(roots);
  const auto path = guard.Confine(clientPath, LastLink::Keep);
  if (!path || guard.HoldsRoot(*path)) return FileOutcome::Refused;
  if (!platform::Exists(*path)) return FileOutcome::NotFound;
  if (platform::RemoveFile(*path) || platform::RemoveEmptyFolder(*path)) return FileOutcome::Done;
  if (platform::IsFolder(*path)) {
    const auto entries = platform::FindMatching(*path, "*");
    if (!entries.empty()) return FileOutcome::NotEmpty;
  }
  return platform::ExclusiveUse::Claim(*path) ? FileOutcome::Failed : FileOutcome::InUse;
}

FileOutcome MoveEntryTo(const std::string& source, const std::string& target,
                        const FileRoots& roots, bool keepExisting) {
  const PathGuard guard = GuardFor(roots);
  const auto from = guard.Confine(source, LastLink::Keep);
  const auto to = guard.Confine(target, LastLink::Keep);
  if (!from || !to || guard.HoldsRoot(*from) || guard.HoldsRoot(*to)) return FileOutcome::Refused;
  // An entry already under such a name may still move away from it.
  if (!platform::IsPortableName(NameOf(*to))) return FileOutcome::Refused;
  if (!platform::Exists(*from)) return FileOutcome::NotFound;
  if (keepExisting && platform::Exists(*to)) return FileOutcome::Exists;
  if (platform::MoveEntry(*from, *to)) return FileOutcome::Done;
  return platform::ExclusiveUse::Claim(*from) ? FileOutcome::Failed : FileOutcome::InUse;
}

void RemoveStaleUploads(const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    if (const auto resolved = PathGuard({folder}).Confine(folder, LastLink::Follow)) {
      platform::RemoveLeftoverUploads(*resolved);
    }
  }
}

}  // namespace orvo::net
