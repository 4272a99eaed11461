// Packing on Linux: attributes and times derived from the Linux file system, folder links followed
// without loops, files that cannot be opened (dangling links, named pipes), locked archives and
// write failures under a file-size limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "pack/PackFolder.h"
#include "tests/pack/PackTestSupport.h"

namespace orvo::pack {
namespace {

using orvo::testing::TempDir;
using testing::Names;
using testing::PackFolderTest;
using testing::RandomBytes;
using testing::ReadArchive;
using testing::ReadEntry;
using testing::RecordingProgress;
namespace fs = std::filesystem;

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

TEST_F(PackFolderTest, AConfinedPackingLeavesOutEveryLinkThatLeadsOutOfTheFolder) {
  dir.Write("A/a.txt", "a");
  dir.Write("A/sub/s.txt", "s");
  dir.Write("Outside/o.txt", "o");
  fs::create_directory_symlink("../Outside", dir / "A/out");
  fs::create_directory_symlink("sub", dir / "A/toSub");
  fs::create_symlink("../Outside/o.txt", dir / "A/leak.txt");
  fs::create_symlink("sub/s.txt", dir / "A/near.txt");  // stays inside: packed
  fs::create_symlink("no-such-target", dir / "A/dangling");

  PackOptions options;
  options.workers = 2;
  options.confined = true;
  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, options);

  ASSERT_TRUE(result.complete) << result.error;
  std::vector<std::string> names = Names(ReadArchiveAt(result.archivePath));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "near.txt", "sub/s.txt"}));
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
    EXPECT_EQ(result.errorKind, PackError::OpenFile);
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
    EXPECT_EQ(result.errorKind, PackError::CreateArchive);
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
  EXPECT_EQ(missing.errorKind, PackError::OpenFile);
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
  EXPECT_EQ(result.errorKind, PackError::WriteArchive);
  EXPECT_FALSE(result.complete);
  EXPECT_TRUE(result.archiveKept);
  EXPECT_EQ(result.entries, 2u);
  const ReadArchive archive = ReadArchiveAt(result.archivePath);
  EXPECT_EQ(Names(archive),
            std::vector<std::string>(progress.paths.begin(), progress.paths.begin() + 2));
  CheckWithTools(result.archivePath);
}

}  // namespace
}  // namespace orvo::pack
