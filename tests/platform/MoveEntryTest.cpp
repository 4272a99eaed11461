#include "platform/MoveEntry.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/ExclusiveUse.h"
#include "platform/FileSystem.h"
#include "tests/platform/HostFiles.h"
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
      names.push_back(fs::relative(entry.path(), dir.Path()).generic_string());
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
  host::MakeReadOnly(readOnly);
  EXPECT_FALSE(MoveEntry(dir / "src.txt", readOnly));
  EXPECT_FALSE(MoveEntry(dir / "folder", readOnly));
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

TEST_F(MoveEntryTest, EntriesInUseStay) {
  dir.Write("src.txt", "source");
  dir.Write("dst.txt", "target");
  dir.Write("folder/busy.txt", "busy");
  {
    const auto held = ExclusiveUse::Claim(dir / "dst.txt");
    ASSERT_TRUE(held);
    EXPECT_FALSE(MoveEntry(dir / "src.txt", dir / "dst.txt"));
    EXPECT_FALSE(MoveEntry(dir / "dst.txt", dir / "other.txt"));
    fs::create_directory(dir / "empty");
    EXPECT_FALSE(MoveEntry(dir / "dst.txt", dir / "empty"));
    EXPECT_TRUE(IsFolder(dir / "empty")) << "the folder removed to make room is back";
    fs::remove(dir / "empty");
  }
#ifndef _WIN32
  // Windows refuses this too, but Wine, which runs these tests, lets a folder holding an open
  // file be renamed.
  {
    const auto held = ExclusiveUse::Claim(dir / "folder/busy.txt");
    EXPECT_FALSE(MoveEntry(dir / "folder", dir / "moved")) << "holds a file in use";
  }
#endif
  EXPECT_EQ(Names(), "dst.txt folder folder/busy.txt src.txt ");
}

}  // namespace
}  // namespace orvo::platform
