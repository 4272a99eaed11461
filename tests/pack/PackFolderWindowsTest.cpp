// Packing on Windows: attribute bits and last-write times from the system, folder links not
// followed, the sharing rules (a file someone writes cannot be packed, an archive someone holds
// cannot be created), the archive and the packer's temporary files left out of the walk, paths
// past MAX_PATH and the archive path of a folder or a drive's root.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "pack/FolderWalk.h"
#include "pack/PackFolder.h"
#include "platform/FindData.h"
#include "tests/pack/PackTestSupport.h"
#include "tests/pack/TimeZone.h"

namespace orvo::pack {
namespace {

using orvo::testing::TempDir;
using testing::HostPaths;
using testing::Names;
using testing::PackFolderTest;
using testing::RandomBytes;
using testing::ReadArchive;
using testing::ReadEntry;
using testing::RecordingProgress;
namespace fs = std::filesystem;

// A handle of the test's own, closed on every path.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (IsOpen()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

Handle Open(const fs::path& path, DWORD access, DWORD share) {
  return Handle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

void SetLastWrite(const fs::path& path, int64_t unixSeconds) {
  const Handle file = Open(path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ);
  ASSERT_TRUE(file.IsOpen()) << path.string();
  const uint64_t time = platform::ToFileTime(unixSeconds, 0);
  const FILETIME when{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &when));
}

// Links to folders for a test, removed again before the test's folder is: the library's
// remove_all would follow them. A junction where the system makes them; Wine cannot, so there
// the link is a symbolic link made on the Linux side, which Wine lists as a reparse point.
class FolderLinks {
 public:
  ~FolderLinks() {
    for (const fs::path& link : junctions_) RemoveDirectoryW(link.c_str());
    for (const auto& [link, unixLink] : unixLinks_) {
      if (RunUnix(L"Z:\\bin\\rm", L"rm \"" + Wide(unixLink) + L"\"")) {
        AwaitUnix([&] { return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; });
      }
    }
  }

  // False when neither way works on this system.
  bool Make(const fs::path& link, const fs::path& target) {
    if (MakeJunction(link, target)) {
      junctions_.push_back(link);
      return true;
    }
    const std::string unixParent = UnixName(link.parent_path());
    const std::string unixTarget = UnixName(target);
    if (unixParent.empty() || unixTarget.empty()) return false;
    const std::string unixLink = unixParent + "/" + link.filename().string();
    if (!RunUnix(L"Z:\\bin\\ln",
                 L"ln -s \"" + Wide(unixTarget) + L"\" \"" + Wide(unixLink) + L"\"")) {
      return false;
    }
    unixLinks_.emplace_back(link, unixLink);
    return AwaitUnix([&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
  }

 private:
  struct MountPointBuffer {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset;
    WORD substituteLength;
    WORD printOffset;
    WORD printLength;
    wchar_t names[MAX_PATH * 2];
  };

  static std::wstring Wide(const std::string& text) { return fs::path(text).wstring(); }

  static bool MakeJunction(const fs::path& link, const fs::path& target) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    const std::wstring substitute = L"\\??\\" + fs::absolute(target).wstring();
    bool made = false;
    {
      const Handle folder(CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
      if (folder.IsOpen() && substitute.size() < MAX_PATH) {
        MountPointBuffer buffer{};
        buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
        buffer.substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
        buffer.printOffset = static_cast<WORD>(buffer.substituteLength + sizeof(wchar_t));
        std::memcpy(buffer.names, substitute.c_str(), buffer.substituteLength);
        buffer.dataLength = static_cast<WORD>(8 + buffer.printOffset + sizeof(wchar_t));
        DWORD returned = 0;
        made = DeviceIoControl(folder.Get(), FSCTL_SET_REPARSE_POINT, &buffer,
                               8 + buffer.dataLength, nullptr, 0, &returned, nullptr) != 0;
      }
    }
    if (!made) RemoveDirectoryW(link.c_str());
    return made;
  }

  // The Linux path of a Windows path under Wine; empty elsewhere.
  static std::string UnixName(const fs::path& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return "";
    char* name = convert(fs::absolute(path).c_str());
    if (name == nullptr) return "";
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
  }

  // Wine starts Linux programs like its own, but gives no handle to wait on: what the program
  // does is awaited instead.
  static bool RunUnix(const wchar_t* program, std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
  }

  template <typename Done>
  static bool AwaitUnix(Done done) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
      if (done()) return true;
      Sleep(10);
    }
    return false;
  }

  std::vector<fs::path> junctions_;
  std::vector<std::pair<fs::path, std::string>> unixLinks_;
};

TEST_F(PackFolderTest, AttributeBitsAndLastWriteTimesComeFromEachFile) {
  // A fixed zone (UTC+8, no summer time) so that the local time is known here.
  const testing::ScopedTimeZone zone("CST-8");
  struct Case {
    const char* name;
    DWORD attributes;  // besides the archive bit a new file gets
  };
  const Case cases[] = {
      {"plain.txt", 0},
      {"readonly.txt", FILE_ATTRIBUTE_READONLY},
      {"hidden.txt", FILE_ATTRIBUTE_HIDDEN},
      {"system.txt", FILE_ATTRIBUTE_SYSTEM},
      {"old.txt", 0},
  };
  for (const Case& c : cases) {
    const std::string path = dir.Write(std::string("A/") + c.name, c.name);
    // 2024-03-05 12:34:57 UTC, 20:34:57 here; DOS times hold even seconds. old.txt is from 1975.
    SetLastWrite(path, std::string(c.name) == "old.txt" ? 170000000 : 1709642097);
    ASSERT_TRUE(SetFileAttributesW(fs::path(path).c_str(), FILE_ATTRIBUTE_ARCHIVE | c.attributes));
  }

  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, 2);

  for (const Case& c : cases) {
    SetFileAttributesW((dir.Path() / "A" / c.name).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  ASSERT_TRUE(result.complete) << result.error;
  std::map<std::string, ReadEntry> entries;
  for (ReadEntry& e : ReadArchiveAt(result.archivePath).entries) entries[e.name] = e;
  ASSERT_EQ(entries.size(), std::size(cases));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ReadEntry& e = entries[c.name];
    EXPECT_EQ(e.externalAttributes, FILE_ATTRIBUTE_ARCHIVE | c.attributes);
    EXPECT_EQ(e.content, c.name);
    if (std::string(c.name) == "old.txt") {
      EXPECT_EQ(e.dosTime, 0);
      EXPECT_EQ(e.dosDate, 1 << 5 | 1);
    } else {
      EXPECT_EQ(e.dosTime, 20 << 11 | 34 << 5 | 28);
      EXPECT_EQ(e.dosDate, (2024 - 1980) << 9 | 3 << 5 | 5);
    }
  }
}

TEST_F(PackFolderTest, FolderLinksAreNotFollowed) {
  dir.Write("A/a.txt", "a");
  dir.Write("A/sub/s.txt", "s");
  dir.Write("Outside/o.txt", "o");
  FolderLinks links;
  const fs::path a = dir.Path() / "A";
  for (const auto& [link, target] : std::vector<std::pair<fs::path, fs::path>>{
           {a / "sub" / "up", a},                // the packed folder: a loop
           {a / "sub" / "self", a / "sub"},      // its own folder
           {a / "out", dir.Path() / "Outside"},  // a folder outside the tree
           {a / "parent", dir.Path()}}) {        // the folder that holds the archive
    if (!links.Make(link, target)) GTEST_SKIP() << "this system makes no folder links";
  }

  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, 2);

  ASSERT_TRUE(result.complete) << result.error;
  EXPECT_EQ(Names(ReadArchiveAt(result.archivePath)),
            (std::vector<std::string>{"a.txt", "sub/s.txt"}));
}

TEST_F(PackFolderTest, AFileSomeoneWritesEndsThePackingWhileReadersDoNot) {
  std::mt19937 random(6);
  // Big enough, with a small memory share, that the files before leave temporary files behind
  // them if those outlived the packing.
  dir.Write("A/a.bin", RandomBytes(random, 200000));
  dir.Write("A/b.bin", RandomBytes(random, 200000));
  dir.Write("A/sub/busy.txt", "being written");
  dir.Write("A/sub/zz/after.txt", "never packed");
  const Handle reader = Open(dir.Path() / "A" / "a.bin", GENERIC_READ, FILE_SHARE_READ);
  const Handle writer = Open(dir.Path() / "A" / "sub" / "busy.txt", GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(reader.IsOpen());
  ASSERT_TRUE(writer.IsOpen());

  PackOptions options;
  options.workers = 2;
  options.memoryBytesPerFile = 16u << 10;
  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, options);

  const std::string sentence = "Cannot open file \"" + dir / "A\\sub\\busy.txt" + "\". ";
  EXPECT_EQ(result.error.substr(0, sentence.size()), sentence);
  EXPECT_GT(result.error.size(), sentence.size()) << "no reason given";
  EXPECT_FALSE(result.complete);
  EXPECT_TRUE(result.archiveKept);
  EXPECT_EQ(result.entries, 2u);
  ASSERT_FALSE(progress.paths.empty());
  EXPECT_EQ(progress.paths.back(), "sub\\busy.txt");
  const ReadArchive archive = ReadArchiveAt(result.archivePath);
  EXPECT_EQ(HostPaths(Names(archive)),
            std::vector<std::string>(progress.paths.begin(), progress.paths.end() - 1));
  EXPECT_EQ(NamesIn(dir.Path()), (std::vector<std::string>{"A", "A.zip"}));
}

TEST_F(PackFolderTest, AnArchiveThatCannotBeCreatedPacksNothing) {
  dir.Write("A/a.txt", "a");
  dir.Write("Folder/A/a.txt", "a");
  fs::create_directory(dir.Path() / "Folder" / "A.zip");
  dir.Write("Held/A/a.txt", "a");
  dir.Write("Held/A.zip", "old archive");
  // Another program reading the old archive, letting everyone else read and write it too.
  const Handle holder = Open(dir.Path() / "Held" / "A.zip", GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_TRUE(holder.IsOpen());

  struct Case {
    const char* name;
    std::string folder;
    std::string sentence;
  };
  const Case cases[] = {
      {"a folder in the way", dir / "Folder\\A",
       "Cannot create file \"" + dir / "Folder\\A.zip" + "\". "},
      {"an archive another program holds", dir / "Held\\A",
       "Cannot create file \"" + dir / "Held\\A.zip" + "\". "},
      {"a folder that is not there", dir / "missing",
       "Cannot open file \"" + dir / "missing" + "\". "},
      {"a file instead of a folder", dir / "A\\a.txt",
       "Cannot open file \"" + dir / "A\\a.txt" + "\". "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingProgress progress;
    const PackResult result = PackFolder(c.folder, progress, 2);
    EXPECT_EQ(result.error.substr(0, c.sentence.size()), c.sentence);
    EXPECT_GT(result.error.size(), c.sentence.size()) << "no reason given";
    EXPECT_FALSE(result.complete);
    EXPECT_FALSE(result.archiveKept);
    EXPECT_TRUE(progress.paths.empty());
  }
  EXPECT_EQ(TempDir::Read(dir.Path() / "Held" / "A.zip"), "old archive");
  EXPECT_FALSE(fs::exists(dir.Path() / "missing.zip"));
  EXPECT_FALSE(fs::exists(dir.Path() / "A" / "a.txt.zip"));
}

// Packing a drive's root writes the archive into the packed tree ("C:\" gives "C:\.zip"), beside
// the packer's temporary files; neither may be packed. A test cannot pack a real drive, so the walk
// is shown the archive's path directly.
TEST_F(PackFolderTest, TheWalkLeavesOutTheArchiveAndThePackersTemporaryFiles) {
  dir.Write("R/kept.txt", "kept");
  dir.Write("R/Packed.ZIP", "the archive being written");
  dir.Write("R/.orvo-pack-17-3.tmp", "a temporary file");
  dir.Write("R/sub/other.zip", "another archive");
  FolderWalk walk(dir / "R", LeaveOut{dir / "r\\packed.zip", FileIdentity{}});
  std::vector<std::string> found;
  while (std::optional<TreeFile> file = walk.Next()) {
    EXPECT_EQ(file->fullPath, dir / "R\\" + file->relativePath);
    found.push_back(file->entryName);
  }
  EXPECT_EQ(found, (std::vector<std::string>{"kept.txt", "sub/other.zip"}));
}

TEST_F(PackFolderTest, ArchivePathsKeepARootsSeparatorOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\class\\3A", "C:\\class\\3A.zip"},
      {"C:\\class\\3A\\", "C:\\class\\3A.zip"},
      {"C:\\class\\3A\\/\\", "C:\\class\\3A.zip"},
      {"C:\\", "C:\\.zip"},
      {"D:/", "D:/.zip"},
      {"\\\\server\\share\\3A\\", "\\\\server\\share\\3A.zip"},
  };
  for (const auto& [folder, archive] : cases) {
    EXPECT_EQ(ArchivePathFor(folder), archive) << folder;
  }
}

// Student folders can nest deeper than the 260 characters of MAX_PATH.
TEST_F(PackFolderTest, PathsPastMaxPathArePacked) {
  // The library's remove_all cannot reach that deep either: the test removes what it made.
  struct DeepTree {
    std::vector<std::wstring> folders;  // with the "\\?\" prefix, outermost first
    std::wstring file;
    ~DeepTree() {
      if (!file.empty()) DeleteFileW(file.c_str());
      for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
        RemoveDirectoryW(folder->c_str());
      }
    }
  } tree;
  std::wstring folder = L"\\\\?\\" + (dir.Path() / "A").wstring();
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  std::string relative;
  for (int level = 0; folder.size() < 400; ++level) {
    const std::string name = "level" + std::to_string(level) + "-" + std::string(40, 'x');
    folder += L"\\" + fs::path(name).wstring();
    relative += name + "/";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    tree.folders.push_back(folder);
  }
  {
    const Handle out(CreateFileW((folder + L"\\deep.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(out.IsOpen());
    tree.file = folder + L"\\deep.txt";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(out.Get(), "deep", 4, &written, nullptr));
  }

  RecordingProgress progress;
  const PackResult result = PackFolder(dir / "A", progress, 2);

  ASSERT_TRUE(result.complete) << result.error;
  const ReadArchive archive = ReadArchiveAt(result.archivePath);
  ASSERT_EQ(Names(archive), std::vector<std::string>{relative + "deep.txt"});
  EXPECT_EQ(archive.entries[0].content, "deep");
}

}  // namespace
}  // namespace orvo::pack
