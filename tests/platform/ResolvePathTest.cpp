#include "platform/ResolvePath.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/PathEscapeCases.h"
#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

using orvo::testing::TempDir;

class ResolvePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The temporary folder itself may sit behind a link (/tmp on some hosts).
    base = std::filesystem::canonical(dir.Path()).string();
    std::filesystem::create_directories(base + "/root/sub");
    std::filesystem::create_directories(base + "/outside");
    dir.Write("outside/secret.txt", "s");
    std::filesystem::create_symlink(base + "/outside", base + "/root/out");
    std::filesystem::create_symlink("sub", base + "/root/rel");
    std::filesystem::create_symlink(base + "/nowhere", base + "/root/dangling");
  }
  static std::string Win(std::string path) {
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
  }
  TempDir dir;
  std::string base;
};

TEST_F(ResolvePathTest, SeparatorsDotsAndLinksResolve) {
  const std::string r = base + "/root";
  EXPECT_EQ(ResolvePath(Win(r + "/sub/file.txt"), LastLink::Follow), r + "/sub/file.txt");
  EXPECT_EQ(ResolvePath(r + "\\sub/.\\..//sub\\", LastLink::Follow), r + "/sub");
  EXPECT_EQ(ResolvePath(r + "/out/secret.txt", LastLink::Follow), base + "/outside/secret.txt");
  EXPECT_EQ(ResolvePath(r + "/rel/new/deeper", LastLink::Follow), r + "/sub/new/deeper");
  EXPECT_EQ(ResolvePath(r + "/out", LastLink::Follow), base + "/outside");
  EXPECT_EQ(ResolvePath(r + "/out", LastLink::Keep), r + "/out");
  // ".." is taken away by the text before any link is followed, as a Windows host does.
  EXPECT_EQ(ResolvePath(r + "/out/../sub", LastLink::Follow), r + "/sub");
  EXPECT_EQ(ResolvePath("/../..", LastLink::Follow), "/");
  EXPECT_EQ(ResolvePath("\\", LastLink::Keep), "/");
}

TEST_F(ResolvePathTest, DanglingLinkIsAllowedOnlyAsTheLastComponent) {
  const std::string r = base + "/root";
  EXPECT_EQ(ResolvePath(r + "/dangling", LastLink::Follow), r + "/dangling");
  EXPECT_EQ(ResolvePath(r + "/dangling/x", LastLink::Follow), std::nullopt);
  dir.Write("root/file.txt", "");
  EXPECT_EQ(ResolvePath(r + "/file.txt/x", LastLink::Follow), std::nullopt);
}

TEST_F(ResolvePathTest, RelativeEmptyAndNulPathsAreRefused) {
  EXPECT_EQ(ResolvePath("", LastLink::Follow), std::nullopt);
  EXPECT_EQ(ResolvePath("root\\sub", LastLink::Follow), std::nullopt);
  EXPECT_EQ(ResolvePath("C:\\root", LastLink::Follow), std::nullopt);
  EXPECT_EQ(ResolvePath(std::string("/tmp/a\0b", 8), LastLink::Keep), std::nullopt);
}

TEST(ResolvePathEscapes, EveryWayOutOfTheRootEndsOutsideItOrIsRefused) {
  TempDir dir;
  const std::string base = std::filesystem::canonical(dir.Path()).string();
  orvo::testing::MakeEscapeLayout(base);
  const std::string root = base + "/root";
  for (const auto& escape : orvo::testing::PathEscapes(base)) {
    for (const std::string& path : {escape.secret, escape.folder}) {
      const auto resolved = ResolvePath(path, LastLink::Follow);
      EXPECT_TRUE(!resolved || !IsAtOrBelow(*resolved, root)) << path << " -> " << *resolved;
    }
  }
}

TEST(PosixPathSyntax, TreesParentsAndPatternFolders) {
  EXPECT_TRUE(IsAtOrBelow("/srv/root", "/srv/root"));
  EXPECT_TRUE(IsAtOrBelow("/srv/root/x", "/srv/root"));
  EXPECT_TRUE(IsAtOrBelow("/anything", "/"));
  EXPECT_FALSE(IsAtOrBelow("/srv/root2", "/srv/root"));
  EXPECT_FALSE(IsAtOrBelow("/srv/Root/x", "/srv/root")) << "Linux names keep their case";
  EXPECT_FALSE(IsAtOrBelow("/srv", "/srv/root"));

  EXPECT_EQ(ParentFolder("/srv/root/x"), "/srv/root");
  EXPECT_EQ(ParentFolder("/srv"), "/");
  EXPECT_EQ(ParentFolder("/"), "/");

  const auto top = SplitPattern("\\*");
  ASSERT_TRUE(top);
  EXPECT_EQ(top->folder, "/");
  EXPECT_EQ(top->last, "*");
  const auto nested = SplitPattern("/srv/root\\*.txt");
  ASSERT_TRUE(nested);
  EXPECT_EQ(nested->folder, "/srv/root");
  EXPECT_EQ(nested->last, "*.txt");
  EXPECT_FALSE(SplitPattern("*.txt"));
}

}  // namespace
}  // namespace orvo::platform
