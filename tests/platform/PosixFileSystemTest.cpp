// What the Linux side adds to the Windows rules: attributes derived from modes and names,
// symbolic links, kept modes and owners, and moves across file systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "platform/FindFiles.h"
#include "platform/MoveEntry.h"
#include "platform/PendingFile.h"
#include "platform/ReplacementFile.h"
#include "tests/platform/DescribeFixture.h"
#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

using orvo::testing::TempDir;
namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

class PosixDescribeEntryTest : public testing::DescribeFixture {};

TEST_F(PosixDescribeEntryTest, AttributesFollowKindPermissionsAndName) {
  dir.Write("plain.txt", "12345");
  dir.Write(".hidden", "");
  const std::string readOnly = dir.Write("ro.txt", "x");
  ::chmod(readOnly.c_str(), 0444);
  fs::create_directory(dir / "folder");
  ::mkfifo((dir / "pipe").c_str(), 0644);
  fs::create_symlink(dir / "folder", dir / "to-folder");
  fs::create_symlink(dir / "plain.txt", dir / "to-file");
  fs::create_symlink(dir / "nowhere", dir / "dangling");

  EXPECT_EQ(Describe(".hidden").attributes, attr::kArchive | attr::kHidden);
  EXPECT_EQ(Describe("ro.txt").attributes, attr::kArchive | attr::kReadOnly);
  EXPECT_EQ(Describe("pipe").attributes, attr::kNormal);
  EXPECT_EQ(Describe("plain.txt").alternateName, "");

  const FindData toFolder = Describe("to-folder");
  EXPECT_EQ(toFolder.attributes, attr::kReparsePoint | attr::kFolder);
  EXPECT_EQ(toFolder.reparseTag, kSymlinkReparseTag);
  const FindData toFile = Describe("to-file");
  EXPECT_EQ(toFile.attributes, attr::kReparsePoint);
  EXPECT_EQ(toFile.size, 0u) << "a link's own size, not its target's";
  EXPECT_EQ(Describe("dangling").attributes, attr::kReparsePoint);
}

TEST_F(PosixDescribeEntryTest, TimesComeFromTheFile) {
  const std::string path = dir.Write("t.txt", "x");
  const timespec times[2] = {{1000000000, 500}, {1200000000, 700}};  // access, write
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  const FindData data = Describe("t.txt");
  EXPECT_EQ(data.lastAccessTime, ToFileTime(1000000000, 500));
  EXPECT_EQ(data.lastWriteTime, ToFileTime(1200000000, 700));
  // Birth time where the file system keeps one (it is now), else the last write.
  EXPECT_TRUE(data.creationTime == data.lastWriteTime ||
              data.creationTime > ToFileTime(1600000000, 0));
}

TEST(PosixRemoveFile, ALinkGoesNotItsTarget) {
  TempDir dir;
  fs::create_directory(dir / "folder");
  fs::create_symlink(dir / "folder", dir / "link");
  EXPECT_TRUE(RemoveFile(dir / "link"));
  EXPECT_TRUE(IsFolder(dir / "folder"));
}

TEST(PosixReplacement, ModesAreKeptAndLinksRefused) {
  TempDir dir;
  const std::string target = dir.Write("doc.txt", "old");
  ::chmod(target.c_str(), 0604);
  {
    auto replacement = ReplacementFile::Open(target);
    ASSERT_TRUE(replacement);
    replacement->Content().WriteAll("new", 3);
    replacement->Commit();
  }
  EXPECT_EQ(ModeOf(target), 0604u);
  {
    PendingFile pending = PendingFile::CreateBeside(target, ".orvo-upload-", 0640);
    pending.Commit();
  }
  EXPECT_EQ(ModeOf(target), 0640u);
  fs::create_symlink(dir / "nowhere", dir / "dangling");
  EXPECT_FALSE(ReplacementFile::Open(dir / "dangling"));
}

TEST(PosixExecutableDir, IsWhereProcSaysThisProgramIs) {
  EXPECT_EQ(fs::canonical("/proc/self/exe").parent_path().string() + "/", ExecutableDir());
}

TEST(PosixMoveEntry, LinksMoveAsThemselves) {
  TempDir dir;
  dir.Write("real/a.txt", "a");
  fs::create_symlink(dir / "real", dir / "link");
  EXPECT_TRUE(MoveEntry(dir / "link", dir / "renamed"));
  EXPECT_TRUE(fs::is_symlink(dir / "renamed"));
  EXPECT_EQ(TempDir::Read(dir / "real/a.txt"), "a");
}

TEST(PosixMoveEntry, FileCrossesFileSystemsByCopyFolderDoesNot) {
  TempDir dir;
  if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no second file system at /dev/shm";
  struct stat here {
  }, there{};
  ::stat(dir.Path().c_str(), &here);
  ::stat("/dev/shm", &there);
  if (here.st_dev == there.st_dev) GTEST_SKIP() << "/dev/shm is on the same file system";
  struct Scratch {
    std::string path = fs::path("/dev/shm") / ("orvo-move-" + std::to_string(::getpid()));
    Scratch() { fs::create_directory(path); }
    ~Scratch() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } scratch;
  const std::string& shm = scratch.path;
  const std::string source = dir.Write("src.txt", "travels");
  ::chmod(source.c_str(), 0640);
  const std::string target = shm + "/dst.txt";
  EXPECT_TRUE(MoveEntry(source, target));
  EXPECT_FALSE(Exists(source));
  std::ifstream in(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "travels");
  EXPECT_EQ(ModeOf(target), 0640u);

  dir.Write("folder/a.txt", "a");
  EXPECT_FALSE(MoveEntry(dir / "folder", shm + "/folder"));
  EXPECT_TRUE(IsFolder(dir / "folder"));
  EXPECT_EQ(std::distance(fs::directory_iterator(shm), fs::directory_iterator()), 1)
      << "no copy litter left";
}

}  // namespace
}  // namespace orvo::platform
