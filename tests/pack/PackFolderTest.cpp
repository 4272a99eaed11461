#include "pack/PackFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/pack/ZipReader.h"
#include "tests/pack/ZipTools.h"
#include "tests/support/TempDir.h"

namespace orvo::pack {
namespace {

using orvo::testing::TempDir;
using testing::ReadArchive;
using testing::ReadEntry;
using testing::ReadZip;
namespace fs = std::filesystem;

class RecordingProgress : public PackProgress {
 public:
  void FilePacking(const std::string& relativePath) override {
    paths.push_back(relativePath);
    if (onFile) onFile(relativePath);
  }
  std::vector<std::string> paths;
  std::function<void(const std::string&)> onFile;
};

// What zlib itself makes of `content` with the packer's settings: raw deflate, default level.
std::string ReferenceDeflate(const std::string& content) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, content.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  z.avail_in = static_cast<uInt>(content.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

std::string RandomBytes(std::mt19937& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::string Text(std::mt19937& random, std::size_t size) {
  static const char* const kWords[] = {"学生",  "homework", "report", "第一章", "the", "server",
                                       "class", "作业",     "answer", "42",     "\n",  "timetable"};
  std::string text;
  while (text.size() < size) {
    text += kWords[random() % std::size(kWords)];
    text += ' ';
  }
  text.resize(size);
  return text;
}

// The whole file in one read: TempDir::Read goes character by character, which takes seconds for
// archives of many megabytes in a debug build.
std::string ReadWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes(fs::file_size(file), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!in) throw std::runtime_error("cannot read " + file.string());
  return bytes;
}

std::vector<std::string> Names(const ReadArchive& archive) {
  std::vector<std::string> names;
  for (const ReadEntry& e : archive.entries) names.push_back(e.name);
  return names;
}

// The files of `folder` in the order the file system lists them, plain files first, then each
// subfolder the same way: what the archive's order must be.
std::vector<std::string> ListingOrder(const fs::path& folder, const std::string& prefix = "") {
  std::vector<std::string> files;
  std::vector<std::string> folders;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) throw std::runtime_error("opendir");
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    (fs::is_directory(folder / name) ? folders : files).push_back(name);
  }
  ::closedir(dir);
  std::vector<std::string> order;
  for (const std::string& name : files) order.push_back(prefix + name);
  for (const std::string& name : folders) {
    for (std::string& path : ListingOrder(folder / name, prefix + name + "/"))
      order.push_back(std::move(path));
  }
  return order;
}

class PackFolderTest : public ::testing::Test {
 protected:
  ReadArchive ReadArchiveAt(const std::string& path) { return ReadZip(ReadWhole(path)); }

  // Runs the independent readers present on the machine over `archive` and compares what they
  // see with what the built-in reader found.
  void CheckWithTools(const std::string& archive) {
    const ReadArchive expected = ReadArchiveAt(archive);
    const testing::ToolVerdict unzip = testing::UnzipTest(archive);
    if (unzip.ran) {
      EXPECT_TRUE(unzip.ok) << "unzip -t: " << unzip.detail;
    } else {
      std::cerr << "note: " << unzip.detail << "; unzip check skipped\n";
    }
    const std::string into = dir / ("extracted-" + std::to_string(++extractions_));
    std::vector<std::string> names;
    const testing::ToolVerdict python = testing::PythonExtract(archive, into, &names);
    if (!python.ran) {
      std::cerr << "note: " << python.detail << "; checked with the built-in reader only\n";
      return;
    }
    ASSERT_TRUE(python.ok) << "python3 zipfile: " << python.detail;
    EXPECT_EQ(names, Names(expected));
    for (const ReadEntry& e : expected.entries) {
      EXPECT_TRUE(ReadWhole(fs::path(into) / e.name) == e.content) << e.name;
    }
  }

  TempDir dir;

 private:
  int extractions_ = 0;
};

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
  EXPECT_EQ(progress.paths, (std::vector<std::string>{"a.txt", "B/b.txt"}));

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
  EXPECT_EQ(progress.paths, expected);
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
  dir.Write("网络01班/说明.txt", "一");
  dir.Write("网络01班/作业/张三 的报告.txt", "二");
  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "网络01班", progress, 2);

  ASSERT_TRUE(result.complete) << result.error;
  EXPECT_EQ(result.archivePath, dir / "网络01班.zip");
  const ReadArchive archive = ReadArchiveAt(result.archivePath);
  EXPECT_EQ(Names(archive), (std::vector<std::string>{"说明.txt", "作业/张三 的报告.txt"}));
  for (const ReadEntry& e : archive.entries) {
    EXPECT_EQ(e.flags, 0x0800);
    EXPECT_EQ(e.localFlags, 0x0800);
  }
  EXPECT_EQ(progress.paths, Names(archive));
  CheckWithTools(result.archivePath);
}

TEST_F(PackFolderTest, AttributesAndTimesComeFromEachFile) {
  // A fixed zone (UTC+8, no summer time) so that the local time is known here.
  const char* savedZone = std::getenv("TZ");
  const std::string saved = savedZone ? savedZone : "";
  ::setenv("TZ", "CST-8", 1);
  ::tzset();

  dir.Write("A/plain.txt", "plain");
  dir.Write("A/readonly.txt", "read only");
  fs::permissions(dir / "A/readonly.txt", fs::perms::owner_read | fs::perms::group_read);
  dir.Write("A/.hidden", "hidden");
  fs::create_symlink("plain.txt", dir / "A/link.txt");
  dir.Write("A/old.txt", "old");
  // 2024-03-05 12:34:57 UTC, 20:34:57 here; DOS times hold even seconds.
  const timespec when[2] = {{1709642097, 0}, {1709642097, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "A/plain.txt").c_str(), when, 0), 0);
  const timespec before1980[2] = {{170000000, 0}, {170000000, 0}};  // 1975
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "A/old.txt").c_str(), before1980, 0), 0);

  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, 2);

  if (savedZone) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
  ASSERT_TRUE(result.complete) << result.error;
  std::map<std::string, ReadEntry> entries;
  for (ReadEntry& e : ReadArchiveAt(result.archivePath).entries) entries[e.name] = e;
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries["plain.txt"].externalAttributes, 0x20u);
  EXPECT_EQ(entries["readonly.txt"].externalAttributes, 0x21u);
  EXPECT_EQ(entries[".hidden"].externalAttributes, 0x22u);
  EXPECT_EQ(entries[".hidden"].content, "hidden");
  // A link to a file is packed with the file's content and the link's own attributes.
  EXPECT_EQ(entries["link.txt"].externalAttributes, 0x400u);
  EXPECT_EQ(entries["link.txt"].content, "plain");
  EXPECT_EQ(entries["plain.txt"].dosTime, 20 << 11 | 34 << 5 | 28);
  EXPECT_EQ(entries["plain.txt"].dosDate, (2024 - 1980) << 9 | 3 << 5 | 5);
  EXPECT_EQ(entries["old.txt"].dosTime, 0);
  EXPECT_EQ(entries["old.txt"].dosDate, 1 << 5 | 1);
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
  CheckWithTools(one.archivePath);
}

TEST_F(PackFolderTest, FolderLinksAreFollowedOnceNeverInALoopNorIntoTheArchive) {
  dir.Write("A/a.txt", "a");
  dir.Write("A/sub/s.txt", "s");
  dir.Write("Outside/o.txt", "o");
  dir.Write("other.txt", "other");
  fs::create_directory_symlink("..", dir / "A/sub/up");              // the packed folder
  fs::create_directory_symlink(".", dir / "A/sub/self");             // its own folder
  fs::create_directory_symlink("sub", dir / "A/toSub");              // a folder of the tree
  fs::create_directory_symlink("..", dir / "A/parent");              // holds the archive and A
  fs::create_directory_symlink("../Outside", dir / "A/out");         // reached twice
  fs::create_directory_symlink("../Outside", dir / "Outside/loop");  // itself
  fs::create_directory_symlink("../A", dir / "Outside/back");        // back into the tree
  fs::create_symlink("../A.zip", dir / "A/zipLink");                 // the archive itself

  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, 2);

  ASSERT_TRUE(result.complete) << result.error;
  std::vector<std::string> names = Names(ReadArchiveAt(result.archivePath));
  const auto outside = std::count(names.begin(), names.end(), "out/o.txt") +
                       std::count(names.begin(), names.end(), "parent/Outside/o.txt");
  EXPECT_EQ(outside, 1) << "the outside folder is packed once, under whichever link came first";
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::string& n) {
                               return n == "out/o.txt" || n == "parent/Outside/o.txt";
                             }),
              names.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "parent/other.txt", "sub/s.txt"}));
  CheckWithTools(result.archivePath);
}

TEST_F(PackFolderTest, AFileThatCannotBeOpenedEndsThePackingWithAFinishedArchive) {
  // Tests run as root, whom permissions do not stop: a dangling link and a named pipe are files
  // that no one can open (for reading content).
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* reason;
  };
  const Case cases[] = {
      {"dangling link", [](const std::string& path) { fs::create_symlink("no-such-target", path); },
       "No such file or directory"},
      {"named pipe", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); },
       "Not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string root = dir / c.name;
    dir.Write(std::string(c.name) + "/a.txt", "a");
    dir.Write(std::string(c.name) + "/b.txt", "b");
    dir.Write(std::string(c.name) + "/sub/zz/after.txt", "never packed");
    c.make(root + "/sub/bad");

    RecordingProgress progress;
    const PackResult result = PackFolder(root, progress, 2);

    EXPECT_EQ(result.error, "Cannot open file \"" + root + "/sub/bad\". " + c.reason);
    EXPECT_FALSE(result.complete);
    EXPECT_TRUE(result.archiveKept);
    EXPECT_EQ(result.entries, 2u);
    ASSERT_FALSE(progress.paths.empty());
    EXPECT_EQ(progress.paths.back(), "sub/bad");
    const ReadArchive archive = ReadArchiveAt(result.archivePath);
    EXPECT_EQ(Names(archive),
              std::vector<std::string>(progress.paths.begin(), progress.paths.end() - 1));
    CheckWithTools(result.archivePath);
  }
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

  EXPECT_EQ(result.error,
            "Cannot open file \"" + dir / ("A/" + removed) + "\". No such file or directory");
  EXPECT_EQ(result.entries, 1u);
  EXPECT_TRUE(result.archiveKept);
  EXPECT_EQ(ReadArchiveAt(result.archivePath).entries.size(), 1u);
}

TEST_F(PackFolderTest, AnArchiveThatCannotBeCreatedPacksNothing) {
  dir.Write("A/a.txt", "a");
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* reason;
  };
  int holder = -1;
  const Case cases[] = {
      {"a folder in the way", [&] { fs::create_directory(dir / "A.zip"); }, "Is a directory"},
      {"an archive another holder has locked",
       [&] {
         fs::remove(dir / "A.zip");
         dir.Write("A.zip", "old archive");
         holder = ::open((dir / "A.zip").c_str(), O_RDONLY | O_CLOEXEC);
         ASSERT_EQ(::flock(holder, LOCK_EX), 0);
       },
       "The file is being used by another process"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    RecordingProgress progress;
    const PackResult result = PackFolder(dir / "A", progress, 2);
    EXPECT_EQ(result.error, "Cannot create file \"" + dir / "A.zip" + "\". " + c.reason);
    EXPECT_FALSE(result.complete);
    EXPECT_FALSE(result.archiveKept);
    EXPECT_TRUE(progress.paths.empty());
  }
  EXPECT_EQ(TempDir::Read(dir / "A.zip"), "old archive");
  ::close(holder);

  RecordingProgress progress;
  const PackResult missing = PackFolder(dir / "missing", progress, 2);
  EXPECT_EQ(missing.error,
            "Cannot open file \"" + dir / "missing" + "\". No such file or directory");
  EXPECT_FALSE(fs::exists(dir / "missing.zip"));
}

TEST_F(PackFolderTest, AWriteFailureFinishesTheArchiveWithTheEntriesBefore) {
  std::mt19937 random(4);
  for (int i = 0; i < 6; ++i) {
    dir.Write("A/d" + std::to_string(i) + "/f.bin", RandomBytes(random, 40000));
  }
  // A file-size limit makes writes past 100,000 bytes fail as a full disk would.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, 2);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);

  EXPECT_EQ(result.error, "Cannot write file \"" + dir / "A.zip" +
                              "\". File too large. The archive holds the 2 files packed before.");
  EXPECT_FALSE(result.complete);
  EXPECT_TRUE(result.archiveKept);
  EXPECT_EQ(result.entries, 2u);
  const ReadArchive archive = ReadArchiveAt(result.archivePath);
  EXPECT_EQ(Names(archive),
            std::vector<std::string>(progress.paths.begin(), progress.paths.begin() + 2));
  CheckWithTools(result.archivePath);
}

TEST_F(PackFolderTest, AnExceptionFromTheProgressFinishesTheArchiveAndLeaves) {
  dir.Write("A/a.txt", "a");
  dir.Write("A/sub/b.txt", "b");
  dir.Write("A/sub/more/c.txt", "c");
  RecordingProgress progress;
  progress.onFile = [](const std::string& path) {
    if (path == "sub/b.txt") throw std::runtime_error("window closed");
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
  const testing::ToolVerdict unzip = testing::UnzipTest(result.archivePath);
  if (unzip.ran) {
    EXPECT_TRUE(unzip.ok) << unzip.detail;
  }
}

}  // namespace
}  // namespace orvo::pack
