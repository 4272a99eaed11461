// Packing files the caller chooses: names as given, the SHA-256 taken while deflating, entries from
// memory after the files, unreadable files left out or ending the packing, the archive itself
// left out wherever it is met, and the failure's path and reason apart for front ends.
#include "pack/PackEntries.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/FindData.h"
#include "platform/Sha256.h"
#include "tests/pack/PackTestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace orvo::pack {
namespace {

using testing::Names;
using testing::PackFolderTest;
using testing::RandomBytes;
using testing::ReadArchive;
using testing::Text;
namespace fs = std::filesystem;

struct Packed {
  std::string name;
  uint64_t bytes;
  uint32_t crc;
  std::string sha256;
};

struct Skipped {
  std::string path;
  PackError kind;
  std::string reason;
};

class RecordingEntries : public EntriesProgress {
 public:
  void FilePacking(const std::string& relativePath) override { packing.push_back(relativePath); }
  void FilePacked(const PackedFile& file) override {
    packed.push_back({file.file.entryName, file.bytes, file.crc, platform::HexDigest(file.sha256)});
    if (onPacked) onPacked(file);
  }
  void FileSkipped(const TreeFile& file, PackError kind, const std::string& reason) override {
    skipped.push_back({file.fullPath, kind, reason});
  }
  std::vector<std::string> packing;
  std::vector<Packed> packed;
  std::vector<Skipped> skipped;
  std::function<void(const PackedFile&)> onPacked;
};

uint32_t Crc(const std::string& content) {
  return static_cast<uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(content.data()), content.size()));
}

std::string Sha(const std::string& content) {
  platform::Sha256 sha;
  sha.Update(content.data(), content.size());
  return platform::HexDigest(sha.Final());
}

class PackEntriesTest : public PackFolderTest {
 protected:
  // A file of the caller's list: its path on disk and the name it goes in under.
  TreeFile Entry(const std::string& path, const std::string& name) {
    TreeFile file;
    file.fullPath = path;
    file.relativePath = name;
    file.entryName = name;
    file.data.attributes = platform::attr::kArchive;
    std::error_code ignored;
    file.data.size = fs::file_size(testing::Utf8Path(path), ignored);
    return file;
  }
  // Yields `files` in order.
  static std::function<std::optional<TreeFile>()> From(std::vector<TreeFile> files) {
    auto at = std::make_shared<std::size_t>(0);
    return [files = std::move(files), at]() -> std::optional<TreeFile> {
      if (*at == files.size()) return std::nullopt;
      return files[(*at)++];
    };
  }
};

TEST_F(PackEntriesTest, NamesAsGivenDigestsFromTheSameReadAndTheTrailerLast) {
  std::mt19937 random(21);
  // Sizes around the memory share, so that some streams spill into temporary files.
  const std::vector<std::string> contents = {"",
                                             "short",
                                             Text(random, 300 << 10),
                                             RandomBytes(random, 90 << 10),
                                             RandomBytes(random, 700 << 10),
                                             Text(random, 5000)};
  std::vector<TreeFile> files;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const std::string name = "7A/学生" + std::to_string(i) + "/作业/f" + std::to_string(i) + ".bin";
    names.push_back(name);
    files.push_back(Entry(dir.Write("src/" + std::to_string(i), contents[i]), name));
  }
  const std::string manifest = "班级,姓名\n7A,学生0\n";
  int trailerCalls = 0;
  EntriesOptions options;
  options.sha256 = true;
  options.pack.workers = 3;
  options.pack.memoryBytesPerFile = 64 << 10;
  RecordingEntries progress;
  const std::string archive = dir / "out.zip";

  const PackResult result = PackEntries(archive, From(files), progress, options, [&] {
    ++trailerCalls;
    EXPECT_EQ(progress.packed.size(), contents.size()) << "the trailer comes after every file";
    return std::vector<MemoryEntry>{{"7A/清单.csv", manifest}, {"7A/empty.txt", ""}};
  });

  ASSERT_TRUE(result.complete) << result.error;
  EXPECT_TRUE(result.archiveKept);
  EXPECT_EQ(result.entries, contents.size() + 2);
  EXPECT_EQ(trailerCalls, 1);
  EXPECT_EQ(progress.packing, names) << "FilePacking gets the caller's relative paths";
  ASSERT_EQ(progress.packed.size(), contents.size());
  for (std::size_t i = 0; i < contents.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(progress.packed[i].name, names[i]);
    EXPECT_EQ(progress.packed[i].bytes, contents[i].size());
    EXPECT_EQ(progress.packed[i].crc, Crc(contents[i]));
    EXPECT_EQ(progress.packed[i].sha256, Sha(contents[i]));
  }
  names.push_back("7A/清单.csv");
  names.push_back("7A/empty.txt");
  const ReadArchive read = ReadArchiveAt(archive);
  EXPECT_EQ(Names(read), names);
  EXPECT_EQ(read.entries[contents.size()].content, manifest);
  EXPECT_EQ(read.entries[contents.size()].flags, 0x0800);
  EXPECT_EQ(read.entries[contents.size()].externalAttributes, 0x20u);
  CheckWithTools(archive);

#ifndef _WIN32
  std::vector<testing::PythonEntry> seen;
  const testing::ToolVerdict python = testing::PythonEntries(archive, seen);
  if (!python.ran) GTEST_SKIP() << python.detail;
  ASSERT_TRUE(python.ok) << python.detail;
  ASSERT_EQ(seen.size(), names.size());
  for (std::size_t i = 0; i < contents.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(seen[i].name, names[i]);
    EXPECT_EQ(seen[i].size, contents[i].size());
    EXPECT_EQ(seen[i].crc, Crc(contents[i]));
    EXPECT_EQ(seen[i].sha256, progress.packed[i].sha256) << "hashlib disagrees";
  }
  // Stamped with the time of writing: DOS times hold even seconds, so up to 2 s old, give or take
  // a slow machine.
  EXPECT_GE(seen[contents.size()].age, -1.0);
  EXPECT_LT(seen[contents.size()].age, 120.0);
#endif
}

TEST_F(PackEntriesTest, WithoutTheDigestOptionDigestsAreZero) {
  RecordingEntries progress;
  const PackResult result = PackEntries(dir / "out.zip", From({Entry(dir.Write("a", "a"), "a")}),
                                        progress, EntriesOptions{});
  ASSERT_TRUE(result.complete) << result.error;
  ASSERT_EQ(progress.packed.size(), 1u);
  EXPECT_EQ(progress.packed[0].sha256, std::string(64, '0'));
  EXPECT_EQ(progress.packed[0].crc, Crc("a"));
}

// Files that cannot be opened or read, each beside good files: the missing one on every host; on
// Linux also a named pipe, and a file that opens but fails to read (/proc/self/mem at offset 0).
struct Unreadable {
  std::string path;
  PackError kind;
  std::string reason;  // empty: the host's own words, not compared
};

std::vector<Unreadable> UnreadableFiles(const orvo::testing::TempDir& dir) {
  std::vector<Unreadable> files{{dir / "missing", PackError::OpenFile, ""}};
#ifndef _WIN32
  files[0].reason = "No such file or directory";
  const std::string pipe = dir / "pipe";
  if (::mkfifo(pipe.c_str(), 0644) != 0) throw std::runtime_error("mkfifo");
  files.push_back({pipe, PackError::OpenFile, "Not a regular file"});
  files.push_back({"/proc/self/mem", PackError::ReadFile, "Input/output error"});
#endif
  return files;
}

TEST_F(PackEntriesTest, UnreadableFilesAreReportedAndLeftOutWhileTheRestGoesOn) {
  const std::vector<Unreadable> bad = UnreadableFiles(dir);
  std::vector<TreeFile> files{Entry(dir.Write("first", "first"), "first")};
  for (std::size_t i = 0; i < bad.size(); ++i) {
    files.push_back(Entry(bad[i].path, "bad" + std::to_string(i)));
    files.push_back(
        Entry(dir.Write("good" + std::to_string(i), "good"), "good" + std::to_string(i)));
  }
  EntriesOptions options;
  options.skipUnreadable = true;
  options.sha256 = true;
  for (const unsigned workers : {1u, 3u}) {
    SCOPED_TRACE(workers);
    options.pack.workers = workers;
    RecordingEntries progress;
    const PackResult result = PackEntries(dir / "out.zip", From(files), progress, options, [] {
      return std::vector<MemoryEntry>{{"list.csv", "x"}};
    });

    ASSERT_TRUE(result.complete) << result.error;
    EXPECT_EQ(result.errorKind, PackError::None);
    ASSERT_EQ(progress.skipped.size(), bad.size());
    std::vector<std::string> expectedNames{"first"};
    for (std::size_t i = 0; i < bad.size(); ++i) {
      SCOPED_TRACE(bad[i].path);
      EXPECT_EQ(progress.skipped[i].path, bad[i].path);
      EXPECT_EQ(progress.skipped[i].kind, bad[i].kind);
      if (!bad[i].reason.empty()) {
        EXPECT_EQ(progress.skipped[i].reason, bad[i].reason);
      }
      EXPECT_FALSE(progress.skipped[i].reason.empty());
      expectedNames.push_back("good" + std::to_string(i));
    }
    expectedNames.push_back("list.csv");
    EXPECT_EQ(Names(ReadArchiveAt(result.archivePath)), expectedNames);
    EXPECT_EQ(result.entries, expectedNames.size());
    EXPECT_EQ(progress.packing.size(), files.size()) << "every file was announced";
    CheckWithTools(result.archivePath);
  }
}

TEST_F(PackEntriesTest, WithoutSkippingAnUnreadableFileEndsThePackingBeforeTheTrailer) {
  for (const Unreadable& bad : UnreadableFiles(dir)) {
    SCOPED_TRACE(bad.path);
    const std::vector<TreeFile> files{Entry(dir.Write("a", "a"), "a"), Entry(bad.path, "bad"),
                                      Entry(dir.Write("b", "b"), "b")};
    bool trailerCalled = false;
    RecordingEntries progress;
    EntriesOptions options;
    options.pack.workers = 2;
    const PackResult result = PackEntries(dir / "out.zip", From(files), progress, options, [&] {
      trailerCalled = true;
      return std::vector<MemoryEntry>{};
    });

    EXPECT_FALSE(result.complete);
    EXPECT_TRUE(result.archiveKept);
    EXPECT_EQ(result.errorKind, bad.kind);
    EXPECT_EQ(result.errorPath, bad.path);
    if (!bad.reason.empty()) {
      EXPECT_EQ(result.errorReason, bad.reason);
    }
    EXPECT_EQ(result.error,
              (bad.kind == PackError::OpenFile ? "Cannot open file \"" : "Cannot read file \"") +
                  bad.path + "\". " + result.errorReason);
    EXPECT_FALSE(trailerCalled);
    EXPECT_TRUE(progress.skipped.empty());
    EXPECT_EQ(Names(ReadArchiveAt(result.archivePath)), std::vector<std::string>{"a"});
  }
}

TEST_F(PackEntriesTest, TheArchiveItselfIsLeftOutWithoutAWord) {
  const std::string archive = dir / "out.zip";
  dir.Write("out.zip", "an old archive");
  std::vector<TreeFile> files{Entry(dir.Write("a", "a"), "a"), Entry(archive, "self")};
#ifndef _WIN32
  fs::create_symlink("out.zip", dir / "link.zip");  // the same file under another name
  files.push_back(Entry(dir / "link.zip", "link"));
#endif
  files.push_back(Entry(dir.Write("b", "b"), "b"));
  EntriesOptions options;
  options.skipUnreadable = true;
  RecordingEntries progress;
  const PackResult result = PackEntries(archive, From(files), progress, options);

  ASSERT_TRUE(result.complete) << result.error;
  EXPECT_EQ(Names(ReadArchiveAt(archive)), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(progress.packing, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(progress.skipped.empty());
}

TEST_F(PackEntriesTest, FailuresKeepTheirPathAndReasonApart) {
  // The archive cannot be created: a folder is in the way.
  fs::create_directory(dir.Path() / "blocked.zip");
  RecordingEntries progress;
  const PackResult blocked =
      PackEntries(dir / "blocked.zip", From({Entry(dir.Write("a", "a"), "a")}), progress, {});
  EXPECT_EQ(blocked.errorKind, PackError::CreateArchive);
  EXPECT_EQ(blocked.errorPath, dir / "blocked.zip");
  EXPECT_FALSE(blocked.errorReason.empty());
  EXPECT_EQ(blocked.error,
            "Cannot create file \"" + blocked.errorPath + "\". " + blocked.errorReason);
  EXPECT_FALSE(blocked.archiveKept);
  EXPECT_TRUE(progress.packing.empty());

  // PackFolder fills them the same way, for the folder as for the archive.
  testing::RecordingProgress folderProgress;
  const PackResult missing = PackFolder(dir / "no-such-folder", folderProgress, 1);
  EXPECT_EQ(missing.errorKind, PackError::OpenFile);
  EXPECT_EQ(missing.errorPath, dir / "no-such-folder");
  EXPECT_EQ(missing.error,
            "Cannot open file \"" + missing.errorPath + "\". " + missing.errorReason);
}

TEST_F(PackEntriesTest, AnExceptionFromTheProgressFinishesTheArchiveWithTheEntriesBefore) {
  const std::vector<TreeFile> files{Entry(dir.Write("a", "a"), "a"),
                                    Entry(dir.Write("b", "b"), "b"),
                                    Entry(dir.Write("c", "c"), "c")};
  RecordingEntries progress;
  progress.onPacked = [](const PackedFile& packed) {
    if (packed.file.entryName == "b") throw std::runtime_error("stop");
  };
  EntriesOptions options;
  options.pack.workers = 2;
  EXPECT_THROW(PackEntries(dir / "out.zip", From(files), progress, options), std::runtime_error);
  EXPECT_EQ(Names(ReadArchiveAt(dir / "out.zip")), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace orvo::pack
