#include "platform/PathSyntax.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/PendingFile.h"

namespace orvo::platform {
namespace {

struct Case {
  const char* path;
  const char* trimmed;  // TrimSeparators
  const char* folder;   // FolderOf
};

class PathSyntaxCases : public ::testing::TestWithParam<Case> {};

TEST_P(PathSyntaxCases, TrimAndFolderKeepRootsWhole) {
  const Case& c = GetParam();
  EXPECT_EQ(TrimSeparators(c.path), c.trimmed) << c.path;
  EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Windows, PathSyntaxCases,
                         ::testing::Values(Case{"C:\\", "C:\\", "C:\\"},
                                           Case{"C:\\a", "C:\\a", "C:\\"},
                                           Case{"C:\\a\\b\\\\", "C:\\a\\b", "C:\\a\\b\\"},
                                           Case{"C:/a/b", "C:/a/b", "C:/a"}, Case{"\\", "\\", "\\"},
                                           Case{"name", "name", "."}));
#else
INSTANTIATE_TEST_SUITE_P(Posix, PathSyntaxCases,
                         ::testing::Values(Case{"/", "/", "/"}, Case{"//", "/", "/"},
                                           Case{"/a", "/a", "/"}, Case{"/a/b//", "/a/b", "/a/b/"},
                                           Case{"a/b", "a/b", "a"}, Case{"a\\b", "a\\b", "."},
                                           Case{"name", "name", "."}));
#endif

TEST(PathSyntax, JoinPathPutsOneSeparatorBetween) {
  const std::string sep(1, kPathSeparator);
  EXPECT_EQ(JoinPath("dir", "f"), "dir" + sep + "f");
  EXPECT_EQ(JoinPath("dir" + sep, "f"), "dir" + sep + "f");
  EXPECT_EQ(JoinPath("", "f"), "." + sep + "f");
  EXPECT_EQ(JoinPath(sep, "f"), sep + "f");
}

TEST(PathSyntax, RootsAreTheFileSystemsTopOnly) {
  EXPECT_TRUE(IsRootPath(std::string(1, kPathSeparator)));
  EXPECT_FALSE(IsRootPath(""));
  EXPECT_FALSE(IsRootPath("a"));
#ifdef _WIN32
  EXPECT_TRUE(IsRootPath("C:\\"));
  EXPECT_TRUE(IsRootPath("d:/"));
  EXPECT_FALSE(IsRootPath("C:"));
  EXPECT_FALSE(IsRootPath("C:\\a"));
#else
  EXPECT_FALSE(IsRootPath("//"));
  EXPECT_FALSE(IsRootPath("/a"));
#endif
}

// A temporary lands in its target's folder, whatever separator the target's folder ends in.
TEST(NameBeside, StaysInTheTargetsFolder) {
  const std::string sep(1, kPathSeparator);
  const struct {
    std::string target;
    std::string folder;
  } cases[] = {{"dir" + sep + "f", "dir" + sep},
               {"dir" + sep + sep + "f", "dir" + sep},
               {sep + "f", sep},
               {"f", "." + sep}};
  for (const auto& c : cases) {
    const std::string name = NameBeside(c.target, ".p-");
    ASSERT_TRUE(name.starts_with(c.folder)) << c.target << " gave " << name;
    EXPECT_TRUE(IsNameBeside(std::string_view(name).substr(c.folder.size()), ".p-")) << name;
  }
  EXPECT_NE(NameBeside("f", ".p-"), NameBeside("f", ".p-"));
}

}  // namespace
}  // namespace orvo::platform
