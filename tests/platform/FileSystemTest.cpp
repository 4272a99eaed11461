#include "platform/FileSystem.h"

#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ExclusiveUse.h"
#include "platform/MoveEntry.h"
#include "platform/PendingFile.h"
#include "platform/ReplacementFile.h"
#include "tests/platform/HostFiles.h"
#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

using orvo::testing::TempDir;
namespace fs = std::filesystem;

std::size_t EntriesIn(const fs::path& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(RemoveFile, DeletesFilesButNotFoldersReadOnlyOrBusyFiles) {
  TempDir dir;
  const std::string plain = dir.Write("plain.txt", "x");
  const std::string readOnly = dir.Write("ro.txt", "x");
  host::MakeReadOnly(readOnly);
  const std::string busy = dir.Write("busy.txt", "x");
  fs::create_directory(dir / "folder");

  EXPECT_TRUE(RemoveFile(plain));
  EXPECT_FALSE(Exists(plain));
  EXPECT_FALSE(RemoveFile(readOnly)) << "Windows refuses to delete read-only files";
  EXPECT_TRUE(Exists(readOnly));
  EXPECT_FALSE(RemoveFile(dir / "folder"));
  EXPECT_TRUE(IsFolder(dir / "folder"));
  {
    const auto held = ExclusiveUse::Claim(busy);
    ASSERT_TRUE(held);
    EXPECT_FALSE(RemoveFile(busy));
  }
  EXPECT_TRUE(RemoveFile(busy));
  EXPECT_FALSE(RemoveFile(dir / "missing"));
}

TEST(ExclusiveUse, ReadersShareAFileThatNothingElseMayTakeMeanwhile) {
  TempDir dir;
  const std::string path = dir.Write("handout.pdf", "pages");
  {
    std::vector<ExclusiveUse> readers;
    for (int i = 0; i < 10; ++i) {
      auto reader = ExclusiveUse::Claim(path, Sharing::Readers);
      ASSERT_TRUE(reader) << "reader " << i;
      ASSERT_NE(reader->OpenFile(), nullptr);
      readers.push_back(std::move(*reader));
    }
    EXPECT_FALSE(ExclusiveUse::Claim(path));
    EXPECT_FALSE(ReplacementFile::Open(path));
    EXPECT_FALSE(RemoveFile(path));
    EXPECT_FALSE(MoveEntry(path, dir / "moved.pdf"));
  }
  {
    const auto writer = ExclusiveUse::Claim(path);
    ASSERT_TRUE(writer);
    EXPECT_FALSE(ExclusiveUse::Claim(path, Sharing::Readers));
  }
  EXPECT_TRUE(ExclusiveUse::Claim(path, Sharing::Readers));
  EXPECT_EQ(TempDir::Read(path), "pages");
}

TEST(RemoveEmptyFolder, OnlyEmptyFoldersGo) {
  TempDir dir;
  dir.Write("full/f.txt", "x");
  fs::create_directory(dir / "empty");
  EXPECT_FALSE(RemoveEmptyFolder(dir / "full"));
  EXPECT_FALSE(RemoveEmptyFolder(dir / "full/f.txt"));
  EXPECT_TRUE(RemoveEmptyFolder(dir / "empty"));
  EXPECT_FALSE(Exists(dir / "empty"));
}

TEST(MakeFolder, CreatesOneLevel) {
  TempDir dir;
  EXPECT_TRUE(MakeFolder(dir / "a"));
  EXPECT_FALSE(MakeFolder(dir / "a")) << "exists";
  EXPECT_FALSE(MakeFolder(dir / "b/c")) << "parent missing";
  EXPECT_TRUE(IsFolder(dir / "a"));
  EXPECT_FALSE(IsFile(dir / "a"));
}

TEST(PendingFile, ReplacesTheTargetOnlyOnCommit) {
  TempDir dir;
  const std::string target = dir.Write("doc.txt", "old");
  {
    PendingFile pending = PendingFile::CreateBeside(target, ".orvo-upload-", 0640);
    pending.Content().WriteAll("new", 3);
    EXPECT_EQ(fs::path(pending.TemporaryPath()).parent_path(), dir.Path());
    EXPECT_TRUE(fs::path(pending.TemporaryPath()).filename().string().starts_with(".orvo-upload-"));
    EXPECT_EQ(TempDir::Read(target), "old");
  }
  EXPECT_EQ(EntriesIn(dir.Path()), 1u) << "an abandoned temporary is removed";
  {
    PendingFile pending = PendingFile::CreateBeside(target, ".orvo-upload-", 0640);
    pending.Content().WriteAll("new", 3);
    pending.Commit();
  }
  EXPECT_EQ(TempDir::Read(target), "new");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
  EXPECT_THROW(PendingFile::CreateBeside(dir / "missing/x.txt", ".orvo-upload-", std::nullopt),
               std::system_error);
}

TEST(File, ResizeKeepsThePositionAndTheData) {
  TempDir dir;
  PendingFile pending = PendingFile::CreateBeside(dir / "f.bin", ".orvo-upload-", std::nullopt);
  File& file = pending.Content();
  file.WriteAll("abc", 3);
  file.Resize(3);
  EXPECT_EQ(file.Size(), 3u);
  file.Resize(10);
  file.WriteAll("de", 2);
  EXPECT_EQ(file.Size(), 10u) << "writing goes on where it stopped, inside the new size";
  pending.Commit();
  EXPECT_EQ(TempDir::Read(dir / "f.bin"), std::string("abcde\0\0\0\0\0", 10));
}

TEST(ReplacementFile, RefusesWhatWindowsWouldNotCreateOrTruncate) {
  TempDir dir;
  const std::string readOnly = dir.Write("ro.txt", "keep");
  host::MakeReadOnly(readOnly);
  host::MakeHidden(dir.Write(".hidden", "keep"));
  fs::create_directory(dir / "folder");
  const std::string busy = dir.Write("busy.txt", "keep");
  {
    const auto held = ExclusiveUse::Claim(busy);
    ASSERT_TRUE(held);
    EXPECT_FALSE(ReplacementFile::Open(busy));
  }
  EXPECT_FALSE(ReplacementFile::Open(readOnly));
  EXPECT_FALSE(ReplacementFile::Open(dir / ".hidden"));
  EXPECT_FALSE(ReplacementFile::Open(dir / "folder"));
  EXPECT_FALSE(ReplacementFile::Open(dir / "missing/new.txt"));
  EXPECT_TRUE(ReplacementFile::Open(dir / ".new-hidden"))
      << "only existing hidden files are refused";
  EXPECT_EQ(EntriesIn(dir.Path()), 4u) << "refusals leave no temporary behind";
  EXPECT_EQ(TempDir::Read(busy), "keep");
}

TEST(ReplacementFile, HoldsTheTargetAndCommitsWhole) {
  TempDir dir;
  const std::string target = dir.Write("doc.txt", "old");
  {
    auto abandoned = ReplacementFile::Open(target);
    ASSERT_TRUE(abandoned);
    abandoned->Content().WriteAll("lost", 4);
  }
  EXPECT_EQ(TempDir::Read(target), "old") << "nothing reaches the target before Commit";
  auto replacement = ReplacementFile::Open(target);
  ASSERT_TRUE(replacement);
  EXPECT_FALSE(ExclusiveUse::Claim(target)) << "held while the upload runs";
  replacement->Content().WriteAll("brand new", 9);
  replacement->Commit();
  replacement.reset();
  EXPECT_EQ(TempDir::Read(target), "brand new");
  EXPECT_TRUE(ExclusiveUse::Claim(target));
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(ExecutableDir, IsTheFolderOfThisTestProgram) {
  const std::string folder = ExecutableDir();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), fs::path::preferred_separator);
  EXPECT_TRUE(IsFile(folder + host::kThisProgram));
}

}  // namespace
}  // namespace orvo::platform
