// Client paths on a Windows host: drive and UNC roots, either separator, and the spellings that
// must not lead out of a folder: short names, links, streams and devices.
#include <windows.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/ResolvePath.h"
#include "platform/windows/WideText.h"
#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

using orvo::testing::TempDir;
namespace fs = std::filesystem;

std::string Forward(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string Lower(std::string path) {
  std::transform(path.begin(), path.end(), path.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return path;
}

std::string ShortPathOf(const std::string& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetShortPathNameW(Wide(path).c_str(), buffer, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string() : Narrow(std::wstring_view(buffer, n));
}

class WindowsResolvePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = dir.Path().string();
    fs::create_directories(dir.Path() / "root" / "sub");
    fs::create_directories(dir.Path() / "Long Folder Name");
    dir.Write("root/file.txt", "x");
    ASSERT_EQ(ResolvePath(base, LastLink::Follow), base) << "the test's folder is spelled as kept";
  }
  TempDir dir;
  std::string base;
};

TEST_F(WindowsResolvePathTest, DriveSeparatorsDotsAndCaseResolve) {
  const std::string r = base + "\\root";
  EXPECT_EQ(ResolvePath(r + "\\sub\\new.txt", LastLink::Follow), r + "\\sub\\new.txt");
  EXPECT_EQ(ResolvePath(Forward(r) + "/sub/", LastLink::Follow), r + "\\sub");
  EXPECT_EQ(ResolvePath(r + "\\sub/.\\..//sub\\x", LastLink::Keep), r + "\\sub\\x");
  EXPECT_EQ(ResolvePath(r + "\\missing\\..\\sub", LastLink::Follow), r + "\\sub");
  EXPECT_EQ(ResolvePath(Lower(r) + "\\SUB\\New.TXT", LastLink::Follow), r + "\\sub\\New.TXT")
      << "the existing part as the file system spells it, the rest as given";
  EXPECT_EQ(ResolvePath(Lower(r) + "\\FILE.TXT", LastLink::Keep), r + "\\file.txt");
  EXPECT_EQ(ResolvePath("c:\\..\\..", LastLink::Follow), "C:\\");
  EXPECT_EQ(ResolvePath("C:/", LastLink::Keep), "C:\\");
}

TEST_F(WindowsResolvePathTest, ShortNamesBecomeLongOnes) {
  const std::string longFolder = base + "\\Long Folder Name";
  const std::string shortFolder = ShortPathOf(longFolder);
  if (shortFolder.empty() || shortFolder == longFolder) GTEST_SKIP() << "no short names here";
  EXPECT_EQ(ResolvePath(shortFolder + "\\new.txt", LastLink::Follow), longFolder + "\\new.txt");
  EXPECT_EQ(ResolvePath(shortFolder, LastLink::Keep), longFolder)
      << "a short last name is expanded even where a link would be kept";
  EXPECT_EQ(ResolvePath(shortFolder + "\\..\\root", LastLink::Follow), base + "\\root");
}

TEST_F(WindowsResolvePathTest, LinksAreFollowedWhereTheHostCanMakeThem) {
  const std::string link = base + "\\root\\out";
  CreateSymbolicLinkW(Wide(link).c_str(), Wide(base + "\\Long Folder Name").c_str(),
                      SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  if (GetFileAttributesW(Wide(link).c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "this host cannot make symbolic links";
  EXPECT_EQ(ResolvePath(link + "\\x.txt", LastLink::Follow), base + "\\Long Folder Name\\x.txt");
  EXPECT_EQ(ResolvePath(link, LastLink::Follow), base + "\\Long Folder Name");
  EXPECT_EQ(ResolvePath(link, LastLink::Keep), link);
  RemoveDirectoryW(Wide(link).c_str());
}

TEST_F(WindowsResolvePathTest, UnsafeOrRelativeSpellingsAreRefused) {
  const std::string r = base + "\\root";
  for (const std::string& path : {std::string(),
                                  std::string("root\\sub"),
                                  std::string("\\root\\sub"),
                                  std::string("C:"),
                                  std::string("C:root"),
                                  std::string("C:\\a\0b", 6),
                                  std::string("\\\\?\\C:\\x"),
                                  std::string("\\\\.\\C:\\x"),
                                  std::string("//?/C:/x"),
                                  std::string("\\\\.\\PhysicalDrive0"),
                                  std::string("\\\\server"),
                                  std::string("\\\\server\\"),
                                  r + "\\file.txt:secret",
                                  r + "\\file.txt::$DATA",
                                  r + "\\a:b\\c",
                                  r + "\\CON",
                                  r + "\\nul.txt",
                                  r + "\\com1\\x",
                                  r + "\\Lpt9.log",
                                  r + "\\AUX .txt",
                                  r + "\\x.",
                                  r + "\\x \\y",
                                  r + "\\...\\y",
                                  r + "\\a*b",
                                  r + "\\a?b",
                                  r + "\\a<b",
                                  r + "\\a|b",
                                  r + "\\file.txt\\x"}) {
    EXPECT_EQ(ResolvePath(path, LastLink::Follow), std::nullopt) << path;
    EXPECT_EQ(ResolvePath(path, LastLink::Keep), std::nullopt) << path;
  }
  // Names that only look like devices are plain names.
  for (const char* name : {"COM10", "console", "nul1", "CONx.txt", "LPT.txt"}) {
    EXPECT_EQ(ResolvePath(r + "\\" + name, LastLink::Follow), r + "\\" + name) << name;
  }
}

struct BelowCase {
  const char* path;
  const char* tree;
  bool below;
};

TEST(WindowsPathSyntax, TreesHoldTheirPathsWithoutRegardToCase) {
  for (const BelowCase& c :
       {BelowCase{"C:\\Root", "C:\\Root", true}, BelowCase{"c:\\root\\x", "C:\\Root", true},
        BelowCase{"C:\\ROOT\\Sub\\y.txt", "c:\\root\\sub", true},
        BelowCase{"C:\\Root2", "C:\\Root", false}, BelowCase{"C:\\Root2\\x", "C:\\Root", false},
        BelowCase{"C:\\", "C:\\Root", false}, BelowCase{"C:\\anything", "C:\\", true},
        BelowCase{"D:\\Root", "C:\\Root", false},
        BelowCase{"\\\\srv\\share\\a", "\\\\SRV\\Share", true},
        BelowCase{"\\\\srv\\share2", "\\\\srv\\share", false},
        BelowCase{"C:\\Äpfel\\x", "C:\\äpfel", true}, BelowCase{"C:\\中文\\x", "C:\\中文", true}}) {
    EXPECT_EQ(IsAtOrBelow(c.path, c.tree), c.below) << c.path << " in " << c.tree;
  }
}

TEST(WindowsPathSyntax, RootsAreTheirOwnParentsAndKeepTheirSeparator) {
  EXPECT_EQ(ParentFolder("C:\\a\\b"), "C:\\a");
  EXPECT_EQ(ParentFolder("C:\\a"), "C:\\");
  EXPECT_EQ(ParentFolder("C:\\"), "C:\\");
  EXPECT_EQ(ParentFolder("\\\\srv\\share\\a"), "\\\\srv\\share");
  EXPECT_EQ(ParentFolder("\\\\srv\\share"), "\\\\srv\\share");

  struct PatternCase {
    const char* pattern;
    const char* folder;
    const char* last;
  };
  for (const PatternCase& c :
       {PatternCase{"C:\\*", "C:\\", "*"}, PatternCase{"C:/*.txt", "C:\\", "*.txt"},
        PatternCase{"C:\\a\\b*", "C:\\a", "b*"}, PatternCase{"C:/a/b", "C:/a", "b"},
        PatternCase{"\\\\srv\\share\\*", "\\\\srv\\share", "*"}}) {
    const auto parts = SplitPattern(c.pattern);
    ASSERT_TRUE(parts) << c.pattern;
    EXPECT_EQ(parts->folder, c.folder) << c.pattern;
    EXPECT_EQ(parts->last, c.last) << c.pattern;
  }
  EXPECT_FALSE(SplitPattern("*.txt"));
}

}  // namespace
}  // namespace orvo::platform
