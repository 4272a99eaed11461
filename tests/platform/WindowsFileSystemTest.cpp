// What a Windows host adds: real attribute bits and short names in listings, handles opened
// elsewhere without sharing, and moves onto another drive.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <utility>

#include <gtest/gtest.h>

#include "platform/ExclusiveUse.h"
#include "platform/FileSystem.h"
#include "platform/FindFiles.h"
#include "platform/MoveEntry.h"
#include "platform/PendingFile.h"
#include "platform/ReplacementFile.h"
#include "platform/windows/WideText.h"
#include "tests/platform/HostFiles.h"
#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

using orvo::testing::TempDir;
namespace fs = std::filesystem;

DWORD AttributesOf(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str());
}

using host::HeldElsewhere;

TEST(WindowsFindFiles, RecordsCarryTheRealAttributeBits) {
  TempDir dir;
  const std::string readOnly = dir.Write("ro.txt", "x");
  const std::string hidden = dir.Write("hidden.txt", "x");
  const std::string both = dir.Write("both.txt", "x");
  ASSERT_TRUE(SetFileAttributesW(Wide(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesW(Wide(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(
      SetFileAttributesW(Wide(both).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  fs::create_directory(dir / "folder");
  // The archive bit may come along; the others are exactly what was set.
  constexpr uint32_t kShown = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;
  std::map<std::string, uint32_t> seen;
  for (const FindData& data : FindMatching(dir.Path().string(), "*"))
    seen[data.name] = data.attributes & kShown;
  EXPECT_EQ(seen["ro.txt"], FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(seen["hidden.txt"], FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(seen["both.txt"], FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(seen["folder"], FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(seen.size(), 4u);
  SetFileAttributesW(Wide(readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesW(Wide(both).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsFindFiles, LongNamesCarryTheirShortNameAndTimesComeFromTheFile) {
  TempDir dir;
  const std::string path = dir.Write("A very long file name.text", "12345");
  {
    const HANDLE file = CreateFileW(Wide(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const FILETIME access{0x11111100u, 0x01D00000u};
    const FILETIME write{0x22222200u, 0x01C00000u};
    EXPECT_TRUE(SetFileTime(file, nullptr, &access, &write));
    CloseHandle(file);
  }
  const auto data = DescribeEntry(path);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->name, "A very long file name.text");
  EXPECT_FALSE(data->alternateName.empty());
  EXPECT_LE(data->alternateName.size(), 12u);
  EXPECT_NE(data->alternateName.find('~'), std::string::npos) << data->alternateName;
  EXPECT_EQ(data->lastAccessTime, 0x01D0000011111100u);
  EXPECT_EQ(data->lastWriteTime, 0x01C0000022222200u);
  EXPECT_NE(data->creationTime, 0u);
  EXPECT_EQ(data->size, 5u);
  // The short name leads to the same entry, under its long name.
  const auto viaShort = DescribeEntry(dir.Path().string() + "\\" + data->alternateName);
  ASSERT_TRUE(viaShort);
  EXPECT_EQ(viaShort->name, data->name);
}

TEST(WindowsExclusiveUse, FileHeldElsewhereIsNeitherClaimedDeletedMovedNorReplaced) {
  TempDir dir;
  const std::string held = dir.Write("held.txt", "held");
  const std::string other = dir.Write("other.txt", "other");
  {
    HeldElsewhere handle(held);
    ASSERT_TRUE(handle.IsHeld());
    EXPECT_FALSE(ExclusiveUse::Claim(held));
    EXPECT_FALSE(RemoveFile(held));
    EXPECT_FALSE(MoveEntry(held, dir / "moved.txt"));
    EXPECT_FALSE(MoveEntry(other, held));
    EXPECT_FALSE(ReplacementFile::Open(held));
  }
  EXPECT_EQ(TempDir::Read(held), "held");
  EXPECT_EQ(TempDir::Read(other), "other");
  EXPECT_FALSE(Exists(dir / "moved.txt"));

  // Our own hold keeps every other open out, and ends with it.
  {
    auto use = ExclusiveUse::Claim(held);
    ASSERT_TRUE(use);
    EXPECT_EQ(use->Kind(), EntryKind::File);
    EXPECT_EQ(use->Size(), 4u);
    HeldElsewhere second(held);
    EXPECT_FALSE(second.IsHeld());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_TRUE(HeldElsewhere(held).IsHeld());
  EXPECT_TRUE(MoveEntry(other, held));
  EXPECT_EQ(TempDir::Read(held), "other");
}

TEST(WindowsReplacementFile, RefusesSystemFilesAndLeavesNoHiddenResult) {
  TempDir dir;
  const std::string system = dir.Write("system.txt", "keep");
  ASSERT_TRUE(SetFileAttributesW(Wide(system).c_str(), FILE_ATTRIBUTE_SYSTEM));
  EXPECT_FALSE(ReplacementFile::Open(system));

  const std::string target = dir.Write("doc.txt", "old");
  {
    auto upload = ReplacementFile::Open(target);
    ASSERT_TRUE(upload);
    EXPECT_FALSE(HeldElsewhere(target).IsHeld()) << "the target is held during the upload";
    upload->Content().WriteAll("new", 3);
    upload->Commit();
  }
  EXPECT_EQ(TempDir::Read(target), "new");
  EXPECT_EQ(AttributesOf(target) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), 0u)
      << "the temporary's hidden bit is gone";
  {
    PendingFile pending = PendingFile::CreateBeside(target, ".orvo-upload-", std::nullopt);
    EXPECT_NE(AttributesOf(pending.TemporaryPath()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_FALSE(HeldElsewhere(pending.TemporaryPath()).IsHeld()) << "nobody reads it half-written";
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

TEST(WindowsFileSystem, FolderPathsTakeEitherSeparatorAndTheProgramFolderEndsInABackslash) {
  TempDir dir;
  const std::string base = dir.Path().string();
  EXPECT_TRUE(CreateFolderPath(base + "/a\\b/c"));
  EXPECT_TRUE(IsFolder(base + "\\a\\b\\c"));
  EXPECT_TRUE(CreateFolderPath(base + "\\a\\b\\c\\"));
  EXPECT_FALSE(CreateFolderPath(dir.Write("file.txt", "") + "\\below"));

  wchar_t exe[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const std::string program = Narrow(std::wstring_view(exe, n));
  EXPECT_EQ(ExecutableDir(), program.substr(0, program.rfind('\\') + 1));
}

TEST(WindowsMoveEntry, FileGoesToAnotherDriveFolderDoesNot) {
  // Under Wine the Z: drive reaches the host's /dev/shm, a file system of its own.
  if (!IsFolder("Z:\\dev\\shm")) GTEST_SKIP() << "no folder on a second drive";
  struct Scratch {
    fs::path path =
        fs::path(L"Z:\\dev\\shm") / ("orvo-move-" + std::to_string(GetCurrentProcessId()));
    Scratch() { fs::create_directory(path); }
    ~Scratch() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } scratch;
  TempDir dir;
  const std::string source = dir.Write("src.txt", "travels");
  const std::string target = scratch.path.string() + "\\dst.txt";
  std::ofstream(scratch.path / "dst.txt", std::ios::binary) << "old";
  EXPECT_TRUE(MoveEntry(source, target));
  EXPECT_FALSE(Exists(source));
  EXPECT_EQ(TempDir::Read(scratch.path / "dst.txt"), "travels");

  dir.Write("folder/a.txt", "a");
  EXPECT_FALSE(MoveEntry(dir / "folder", scratch.path.string() + "\\folder"));
  EXPECT_TRUE(IsFolder(dir / "folder"));
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path), fs::directory_iterator()), 1)
      << "no copy litter left";
}

}  // namespace
}  // namespace orvo::platform
