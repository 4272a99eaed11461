#include "platform/MoveEntry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/ExclusiveUse.h"
#include "platform/FileSystem.h"
#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

using orvo::testing::TempDir;
namespace fs = std::filesystem;

class MoveEntryTest : public ::testing::Test {
 protected:
  std::string Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
      names.push_back(fs::relative(entry.path(), dir.Path()).string());
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const auto& name : names) joined += name + " ";
    return joined;
  }
  TempDir dir;
};

TEST_F(MoveEntryTest, FileReplacesFileAndRenamesKeepContent) {
  dir.Write("src.txt", "source");
  dir.Write("dst.txt", "target");
  EXPECT_TRUE(MoveEntry(dir / "src.txt", dir / "dst.txt"));
  EXPECT_EQ(TempDir::Read(dir / "dst.txt"), "source");
  EXPECT_EQ(Names(), "dst.txt ");
  EXPECT_TRUE(MoveEntry(dir / "dst.txt", dir / "dst.txt")) << "onto itself: nothing lost";
  EXPECT_EQ(TempDir::Read(dir / "dst.txt"), "source");
}

TEST_F(MoveEntryTest, FailedMovesLeaveBothSidesAlone) {
  dir.Write("dst.txt", "target");
  EXPECT_FALSE(MoveEntry(dir / "missing.txt", dir / "dst.txt"));
  EXPECT_EQ(TempDir::Read(dir / "dst.txt"), "target")
      << "a missing source does not cost the target";

  dir.Write("src.txt", "source");
  dir.Write("full/inside.txt", "x");
  EXPECT_FALSE(MoveEntry(dir / "src.txt", dir / "full"));
  dir.Write("folder/a.txt", "a");
  EXPECT_FALSE(MoveEntry(dir / "folder", dir / "full"));

  const std::string readOnly = dir.Write("ro.txt", "ro");
  ::chmod(readOnly.c_str(), 0444);
  EXPECT_FALSE(MoveEntry(dir / "src.txt", readOnly));
  EXPECT_FALSE(MoveEntry(dir / "folder", dir / "folder/sub")) << "into itself";
  EXPECT_EQ(Names(), "dst.txt folder folder/a.txt full full/inside.txt ro.txt src.txt ");
  EXPECT_EQ(TempDir::Read(readOnly), "ro");
}

TEST_F(MoveEntryTest, KindsReplaceEachOtherOnlyWhenTheOldOneMayGo) {
  dir.Write("src.txt", "source");
  fs::create_directory(dir / "empty");
  EXPECT_TRUE(MoveEntry(dir / "src.txt", dir / "empty"));
  EXPECT_TRUE(IsFile(dir / "empty"));

  dir.Write("folder/a.txt", "a");
  EXPECT_TRUE(MoveEntry(dir / "folder", dir / "empty")) << "folder onto a file";
  EXPECT_EQ(TempDir::Read(dir / "empty/a.txt"), "a");

  fs::create_directory(dir / "empty2");
  EXPECT_TRUE(MoveEntry(dir / "empty", dir / "empty2")) << "folder onto an empty folder";
  EXPECT_EQ(Names(), "empty2 empty2/a.txt ");
}

TEST_F(MoveEntryTest, LinksMoveAsThemselves) {
  dir.Write("real/a.txt", "a");
  fs::create_symlink(dir / "real", dir / "link");
  EXPECT_TRUE(MoveEntry(dir / "link", dir / "renamed"));
  EXPECT_TRUE(fs::is_symlink(dir / "renamed"));
  EXPECT_EQ(TempDir::Read(dir / "real/a.txt"), "a");
}

TEST_F(MoveEntryTest, EntriesInUseStay) {
  dir.Write("src.txt", "source");
  dir.Write("dst.txt", "target");
  dir.Write("folder/busy.txt", "busy");
  {
    const auto held = ExclusiveUse::Claim(dir / "dst.txt");
    EXPECT_FALSE(MoveEntry(dir / "src.txt", dir / "dst.txt"));
    EXPECT_FALSE(MoveEntry(dir / "dst.txt", dir / "other.txt"));
  }
  {
    const auto held = ExclusiveUse::Claim(dir / "folder/busy.txt");
    EXPECT_FALSE(MoveEntry(dir / "folder", dir / "moved")) << "holds a file in use";
  }
  EXPECT_EQ(Names(), "dst.txt folder folder/busy.txt src.txt ");
}

TEST_F(MoveEntryTest, FileCrossesFileSystemsByCopyFolderDoesNot) {
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
  struct stat moved {};
  ::stat(target.c_str(), &moved);
  EXPECT_EQ(moved.st_mode & 07777, 0640u);

  dir.Write("folder/a.txt", "a");
  EXPECT_FALSE(MoveEntry(dir / "folder", shm + "/folder"));
  EXPECT_TRUE(IsFolder(dir / "folder"));
  EXPECT_EQ(std::distance(fs::directory_iterator(shm), fs::directory_iterator()), 1)
      << "no copy litter left";
}

}  // namespace
}  // namespace orvo::platform
