// Packing as every host does it: entry order and record layout, replacing an archive, empty
// folders, Chinese names, several workers against one, a file that vanishes, an exception from the
// progress, and the Zip64 fields. Host-specific cases are in PackFolderPosixTest.cpp and
// PackFolderWindowsTest.cpp.
#include "pack/PackFolder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/pack/PackTestSupport.h"

namespace orvo::pack {
namespace {

using orvo::testing::TempDir;
using testing::HostPath;
using testing::HostPaths;
using testing::ListingOrder;
using testing::Names;
using testing::PackFolderTest;
using testing::PathText;
using testing::RandomBytes;
using testing::ReadArchive;
using testing::ReadEntry;
using testing::ReadWhole;
using testing::ReadZip;
using testing::RecordingProgress;
using testing::ReferenceDeflate;
using testing::Text;
using testing::Utf8Path;
using testing::WriteFile;
namespace fs = std::filesystem;

// An error is the packer's sentence and the system's reason. The reason is the host's own text (in
// Chinese on a Chinese Windows), so it is compared whole on Linux only; elsewhere it must be there.
void ExpectError(const std::string& error, const std::string& sentence, const char* linuxReason) {
#ifdef _WIN32
  (void)linuxReason;
  EXPECT_EQ(error.substr(0, sentence.size()), sentence);
  EXPECT_GT(error.size(), sentence.size()) << "no reason given";
#else
  EXPECT_EQ(error, sentence + linuxReason);
#endif
}

TEST_F(PackFolderTest, FilesComeBeforeSubfoldersAndRecordsHaveTheFixedLayout) {
  std::mt19937 random(1);
  const std::string a = "alpha alpha alpha\n";
  const std::string b = Text(random, 600 << 10);  // more than one read of the file
  dir.Write("A/a.txt", a);
  dir.Write("A/B/b.txt", b);

  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, 2);

  EXPECT_EQ(result.archivePath, dir / "A.zip");
  EXPECT_TRUE(result.complete);
  EXPECT_TRUE(result.archiveKept);
  EXPECT_EQ(result.entries, 2u);
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(result.errorKind, PackError::None);
  EXPECT_EQ(progress.paths, HostPaths({"a.txt", "B/b.txt"}));

  const ReadArchive archive = ReadArchiveAt(result.archivePath);
  ASSERT_EQ(Names(archive), (std::vector<std::string>{"a.txt", "B/b.txt"}));
  EXPECT_FALSE(archive.zip64End);
  EXPECT_EQ(archive.classicEntries, 2);
  EXPECT_EQ(archive.entries[0].localHeaderOffset, 0u);
  const std::string sources[] = {a, b};
  for (std::size_t i = 0; i < 2; ++i) {
    const ReadEntry& e = archive.entries[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.content, sources[i]);
    EXPECT_EQ(e.deflated, ReferenceDeflate(sources[i]));
    EXPECT_EQ(e.madeBy, 20);  // version 2.0, host 0 (MS-DOS)
    EXPECT_EQ(e.versionNeeded, 20);
    EXPECT_EQ(e.flags, 0x0800);
    EXPECT_EQ(e.method, 8);
    EXPECT_EQ(e.internalAttributes, 0);
    EXPECT_EQ(e.externalAttributes, 0x20u);
    EXPECT_EQ(e.commentLength, 0);
    EXPECT_EQ(e.diskStart, 0);
    EXPECT_EQ(e.centralExtra, "");
    EXPECT_EQ(e.localVersion, 20);
    EXPECT_EQ(e.localFlags, 0x0800);
    EXPECT_EQ(e.localMethod, 8);
    EXPECT_EQ(e.localTime, e.dosTime);
    EXPECT_EQ(e.localDate, e.dosDate);
    EXPECT_EQ(e.localCrc, e.crc);
    EXPECT_EQ(e.localCompressed32, e.compressed32);
    EXPECT_EQ(e.localUncompressed32, e.uncompressed32);
    EXPECT_EQ(e.localName, e.name);
    EXPECT_EQ(e.localExtra, "");
  }
  CheckWithTools(result.archivePath);
}

TEST_F(PackFolderTest, EntriesFollowTheFileSystemListingDepthFirst) {
  for (int i = 0; i < 12; ++i) dir.Write("A/f" + std::to_string(i) + ".txt", "root file");
  for (int s = 0; s < 5; ++s) {
    for (int i = 0; i < 3; ++i) {
      dir.Write("A/s" + std::to_string(s) + "/g" + std::to_string(i), "sub file");
    }
  }
  dir.Write("A/s2/t/deep1", "deep");
  dir.Write("A/s2/t/deep2", "deep");

  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, 2);

  ASSERT_TRUE(result.complete) << result.error;
  const std::vector<std::string> expected = ListingOrder(dir / "A");
  EXPECT_EQ(Names(ReadArchiveAt(result.archivePath)), expected);
  EXPECT_EQ(progress.paths, HostPaths(expected));
}

TEST_F(PackFolderTest, PackingAgainReplacesTheArchive) {
  std::mt19937 random(2);
  dir.Write("A/a.txt", "kept");
  dir.Write("A/big.bin", RandomBytes(random, 100000));
  RecordingProgress progress;
  ASSERT_TRUE(PackFolder(dir / "A", progress, 2).complete);
  const auto firstSize = fs::file_size(dir / "A.zip");

  fs::remove(dir / "A/big.bin");
  dir.Write("A/c.txt", "new");
  const PackResult again = PackFolder(dir / "A", progress, 2);

  ASSERT_TRUE(again.complete) << again.error;
  std::vector<std::string> names = Names(ReadArchiveAt(again.archivePath));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "c.txt"}));
  EXPECT_LT(fs::file_size(dir / "A.zip"), firstSize);
  CheckWithTools(again.archivePath);
}

TEST_F(PackFolderTest, EmptyFoldersLeaveNoTrace) {
  const std::string onlyEndRecord = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  struct Case {
    const char* name;
    std::vector<const char*> folders;
    std::vector<const char*> files;
  };
  const Case cases[] = {
      {"an empty folder", {}, {}},
      {"only empty subfolders", {"E", "F/G"}, {}},
      {"a file beside an empty subfolder", {"E"}, {"a.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string root = dir / c.name;
    fs::create_directories(root);
    for (const char* folder : c.folders) fs::create_directories(fs::path(root) / folder);
    for (const char* file : c.files) dir.Write(std::string(c.name) + "/" + file, "content");

    RecordingProgress progress;
    const PackResult result = PackFolder(root, progress, 2);

    ASSERT_TRUE(result.complete) << result.error;
    EXPECT_EQ(result.entries, c.files.size());
    const std::string bytes = TempDir::Read(result.archivePath);
    if (c.files.empty()) {
      EXPECT_EQ(bytes, onlyEndRecord);
    }
    EXPECT_EQ(Names(ReadZip(bytes)), std::vector<std::string>(c.files.begin(), c.files.end()));
    CheckWithTools(result.archivePath);
  }
}

TEST_F(PackFolderTest, ChineseNamesAreStoredAsUtf8AndExtractIntact) {
  const fs::path root = dir.Path() / Utf8Path("网络01班");
  WriteFile(root / Utf8Path("说明.txt"), "一");
  WriteFile(root / Utf8Path("作业/张三 的报告.txt"), "二");
  RecordingProgress progress;
  const PackResult result = PackFolder(PathText(root), progress, 2);

  ASSERT_TRUE(result.complete) << result.error;
  EXPECT_EQ(result.archivePath, PathText(dir.Path() / Utf8Path("网络01班.zip")));
  const ReadArchive archive = ReadArchiveAt(result.archivePath);
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"说明.txt", "作业/张三 的报告.txt"}));
  for (const ReadEntry& e : archive.entries) {
    EXPECT_EQ(e.flags, 0x0800);
    EXPECT_EQ(e.localFlags, 0x0800);
  }
  EXPECT_EQ(progress.paths, HostPaths(Names(archive)));
  CheckWithTools(result.archivePath);
}

TEST_F(PackFolderTest, SeveralWorkersWriteTheSameBytesAsOne) {
  std::mt19937 random(3);
  const std::size_t sizes[] = {0, 1, 100, 4096, 50000, 300000, 1500000};
  std::map<std::string, std::string> sources;
  for (int i = 0; i < 200; ++i) {
    const std::string folder = i % 4 == 0 ? "" : "d" + std::to_string(i % 7) + "/";
    const std::string nested = i % 10 == 3 ? "inner/" : "";
    // Big files are few, as in a class folder.
    const std::size_t size = sizes[i % 25 == 0 ? 6 : random() % 6];
    const std::string content = i % 3 == 0 ? RandomBytes(random, size) : Text(random, size);
    const std::string name = folder + nested + "f" + std::to_string(i) + (i % 3 ? ".txt" : ".jpg");
    dir.Write("tree/" + name, content);
    sources[name] = content;
  }

  RecordingProgress single;
  const PackResult one = PackFolder(dir / "tree", single, 1);
  ASSERT_TRUE(one.complete) << one.error;
  const std::string expected = ReadWhole(one.archivePath);
  const ReadArchive archive = ReadZip(expected);
  ASSERT_EQ(archive.entries.size(), sources.size());
  for (const ReadEntry& e : archive.entries) EXPECT_EQ(e.content, sources[e.name]) << e.name;

  // Small memory shares send most streams through temporary files, which must not show.
  struct Run {
    unsigned workers;
    std::size_t memory;
  };
  for (const Run run : {Run{2, 4u << 20}, Run{2, 64u << 10}, Run{4, 16u << 10}}) {
    SCOPED_TRACE("workers " + std::to_string(run.workers) + ", memory " +
                 std::to_string(run.memory));
    PackOptions options;
    options.workers = run.workers;
    options.memoryBytesPerFile = run.memory;
    RecordingProgress progress;
    const PackResult result = PackFolder(dir / "tree", progress, options);
    ASSERT_TRUE(result.complete) << result.error;
    EXPECT_TRUE(ReadWhole(result.archivePath) == expected) << "archives differ";
    EXPECT_EQ(progress.paths, single.paths);
  }
  // The temporary files are gone with the packing.
  EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"tree", "tree.zip"}));
  CheckWithTools(one.archivePath);
}

TEST_F(PackFolderTest, AFileThatVanishesMidPackingEndsThePacking) {
  dir.Write("A/p.txt", "p");
  dir.Write("A/q.txt", "q");
  RecordingProgress progress;
  std::string removed;
  progress.onFile = [&](const std::string& path) {
    if (!removed.empty()) return;
    removed = path == "p.txt" ? "q.txt" : "p.txt";
    fs::remove(dir / ("A/" + removed));
  };
  // One worker: nothing is opened ahead of its turn.
  const PackResult result = PackFolder(dir / "A", progress, 1);

  ExpectError(result.error, "Cannot open file \"" + dir / HostPath("A/" + removed) + "\". ",
              "No such file or directory");
  EXPECT_EQ(result.entries, 1u);
  EXPECT_TRUE(result.archiveKept);
  EXPECT_EQ(ReadArchiveAt(result.archivePath).entries.size(), 1u);
}

TEST_F(PackFolderTest, AnExceptionFromTheProgressFinishesTheArchiveAndLeaves) {
  dir.Write("A/a.txt", "a");
  dir.Write("A/sub/b.txt", "b");
  dir.Write("A/sub/more/c.txt", "c");
  RecordingProgress progress;
  progress.onFile = [](const std::string& path) {
    if (path == HostPath("sub/b.txt")) throw std::runtime_error("window closed");
  };
  EXPECT_THROW(PackFolder(dir / "A", progress, 2), std::runtime_error);
  EXPECT_EQ(Names(ReadArchiveAt(dir / "A.zip")), std::vector<std::string>{"a.txt"});
}

// The classic fields end at 4 GiB and 65,535 entries; lowered limits reach the Zip64 records
// with small files (packing a real 4 GiB file is DISABLED_AFileOf4GiBGetsZip64Fields below).
TEST_F(PackFolderTest, ValuesPastTheClassicFieldsGetZip64FieldsForJustWhatNeedsThem) {
  std::mt19937 random(5);
  const std::string big = RandomBytes(random, 3000);
  dir.Write("A/small.txt", "small");
  dir.Write("A/s/big.bin", big);
  dir.Write("A/s/t/later.txt", "later");
  dir.Write("A/s/t/u/repeated.txt", std::string(5000, 'r'));
  PackOptions options;
  options.workers = 2;
  options.limits.sizeLimit = 1000;
  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, options);

  ASSERT_TRUE(result.complete) << result.error;
  const ReadArchive archive = ReadArchiveAt(result.archivePath);
  ASSERT_EQ(Names(archive), (std::vector<std::string>{"small.txt", "s/big.bin", "s/t/later.txt",
                                                      "s/t/u/repeated.txt"}));
  auto zip64Field = [](std::initializer_list<uint64_t> values) {
    std::string field = std::string("\x01\x00", 2);
    field.push_back(static_cast<char>(values.size() * 8));
    field.push_back('\0');
    for (uint64_t v : values) {
      for (int i = 0; i < 8; ++i) field.push_back(static_cast<char>(v >> (8 * i) & 0xFF));
    }
    return field;
  };

  const ReadEntry& small = archive.entries[0];  // fits: classic throughout
  EXPECT_EQ(small.versionNeeded, 20);
  EXPECT_EQ(small.localVersion, 20);
  EXPECT_EQ(small.centralExtra, "");
  EXPECT_EQ(small.localExtra, "");

  const ReadEntry& sized = archive.entries[1];  // both sizes past the limit, offset not
  EXPECT_EQ(sized.content, big);
  EXPECT_EQ(sized.madeBy, 45);
  EXPECT_EQ(sized.versionNeeded, 45);
  EXPECT_EQ(sized.localVersion, 45);
  EXPECT_EQ(sized.localCompressed32, 0xFFFFFFFFu);
  EXPECT_EQ(sized.localUncompressed32, 0xFFFFFFFFu);
  EXPECT_EQ(sized.localExtra, zip64Field({3000, sized.compressedSize}));
  EXPECT_EQ(sized.compressed32, 0xFFFFFFFFu);
  EXPECT_EQ(sized.uncompressed32, 0xFFFFFFFFu);
  EXPECT_EQ(sized.offset32, sized.localHeaderOffset);
  EXPECT_EQ(sized.centralExtra, zip64Field({3000, sized.compressedSize}));

  const ReadEntry& far = archive.entries[2];  // small, but its header lies past the limit
  EXPECT_GT(far.localHeaderOffset, 1000u);
  EXPECT_EQ(far.localVersion, 20);
  EXPECT_EQ(far.localExtra, "");
  EXPECT_EQ(far.versionNeeded, 45);
  EXPECT_EQ(far.offset32, 0xFFFFFFFFu);
  EXPECT_EQ(far.uncompressed32, 5u);
  EXPECT_EQ(far.centralExtra, zip64Field({far.localHeaderOffset}));

  // Long but deflated small, and far: the local header needs both sizes, the central record
  // just the uncompressed size and the offset, in that order.
  const ReadEntry& repeated = archive.entries[3];
  EXPECT_LT(repeated.compressedSize, 1000u);
  EXPECT_EQ(repeated.localExtra, zip64Field({5000, repeated.compressedSize}));
  EXPECT_EQ(repeated.compressed32, repeated.compressedSize);
  EXPECT_EQ(repeated.centralExtra, zip64Field({5000, repeated.localHeaderOffset}));

  EXPECT_TRUE(archive.zip64End);  // the directory starts past the limit; its size does not
  EXPECT_EQ(archive.classicDirectoryOffset, 0xFFFFFFFFu);
  EXPECT_EQ(archive.classicDirectorySize, archive.directorySize);
  EXPECT_EQ(archive.classicEntries, 4);
  CheckWithTools(result.archivePath);
}

TEST_F(PackFolderTest, ManyEntriesGetTheZip64EndRecord) {
  for (const std::size_t files : {2u, 3u}) {
    SCOPED_TRACE(std::to_string(files) + " files with room for 2");
    const std::string name = "files" + std::to_string(files);
    for (std::size_t i = 0; i < files; ++i) {
      dir.Write(name + "/d" + std::to_string(i) + "/f", "x");
    }
    PackOptions options;
    options.workers = 2;
    options.limits.countLimit = 3;  // 0xFFFF stands for "see the Zip64 record" at the real limit
    RecordingProgress progress;
    const PackResult result = PackFolder(dir / name, progress, options);

    ASSERT_TRUE(result.complete) << result.error;
    const ReadArchive archive = ReadArchiveAt(result.archivePath);
    EXPECT_EQ(archive.entries.size(), files);
    EXPECT_EQ(archive.zip64End, files == 3);
    EXPECT_EQ(archive.classicEntries, files == 3 ? 0xFFFFu : files);
    EXPECT_EQ(archive.classicDirectoryOffset, archive.directoryOffset);
    for (const ReadEntry& e : archive.entries) EXPECT_EQ(e.centralExtra, "");
    CheckWithTools(result.archivePath);
  }
}

// Most of a minute: zlib deflates zeros at some 340 MB/s here, and unzip -t inflates them. Run with
// --gtest_also_run_disabled_tests --gtest_filter='*4GiB*'.
TEST_F(PackFolderTest, DISABLED_AFileOf4GiBGetsZip64Fields) {
  constexpr uint64_t kSize = (uint64_t{1} << 32) + 1;
  dir.Write("A/a.txt", "before");
  dir.Write("A/z/zeros.bin", "");
  dir.Write("A/z/y/after.txt", "after");
  fs::resize_file(dir / "A/z/zeros.bin", kSize);  // sparse: no 4 GiB on the disk
  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, 2);

  ASSERT_TRUE(result.complete) << result.error;
  const ReadArchive archive = ReadZip(ReadWhole(result.archivePath), false);
  ASSERT_EQ(Names(archive), (std::vector<std::string>{"a.txt", "z/zeros.bin", "z/y/after.txt"}));
  const ReadEntry& zeros = archive.entries[1];
  EXPECT_EQ(zeros.uncompressedSize, kSize);
  EXPECT_EQ(zeros.versionNeeded, 45);
  EXPECT_EQ(zeros.localUncompressed32, 0xFFFFFFFFu);
  EXPECT_EQ(zeros.uncompressed32, 0xFFFFFFFFu);
  EXPECT_EQ(zeros.centralExtra.size(), 12u);  // only the uncompressed size needed Zip64
  const std::string megabyte(1 << 20, '\0');
  uLong crc = crc32_z(0, nullptr, 0);
  for (uint64_t done = 0; done + megabyte.size() <= kSize; done += megabyte.size()) {
    crc = crc32_z(crc, reinterpret_cast<const Bytef*>(megabyte.data()), megabyte.size());
  }
  crc = crc32_z(crc, reinterpret_cast<const Bytef*>(megabyte.data()), kSize % megabyte.size());
  EXPECT_EQ(zeros.crc, static_cast<uint32_t>(crc));
  EXPECT_FALSE(archive.zip64End);
#ifndef _WIN32
  const testing::ToolVerdict unzip = testing::UnzipTest(result.archivePath);
  if (unzip.ran) {
    EXPECT_TRUE(unzip.ok) << unzip.detail;
  }
#endif
}

}  // namespace
}  // namespace orvo::pack
