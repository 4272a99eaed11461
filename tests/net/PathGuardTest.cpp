#include "net/PathGuard.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/PathEscapeCases.h"
#include "tests/support/TempDir.h"

namespace orvo::net {
namespace {

using orvo::testing::TempDir;
using platform::LastLink;
namespace fs = std::filesystem;

TEST(PathGuardEscapes, EveryWayOutOfTheRootIsRefused) {
  TempDir dir;
#ifdef _WIN32
  const std::string base = dir.Path().string();
#else
  // The temporary folder itself may sit behind a link.
  const std::string base = fs::canonical(dir.Path()).string();
#endif
  orvo::testing::MakeEscapeLayout(base);
  const PathGuard guard({(fs::path(base) / "root").string(), ""});
  for (const auto& escape : orvo::testing::PathEscapes(base)) {
    EXPECT_EQ(guard.Confine(escape.secret, LastLink::Follow), std::nullopt) << escape.secret;
    EXPECT_EQ(guard.Confine(escape.folder, LastLink::Follow), std::nullopt) << escape.folder;
    if (!escape.linkInRoot) {
      EXPECT_EQ(guard.Confine(escape.secret, LastLink::Keep), std::nullopt) << escape.secret;
    }
  }
}

#ifndef _WIN32
// ---- Linux: the trees' links lead where they point

class PathGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = fs::canonical(dir.Path()).string();
    fs::create_directories(base + "/srv/root/sub");
    fs::create_directories(base + "/srv/root2");
    fs::create_directories(base + "/srv/public");
    fs::create_directories(base + "/outside");
    fs::create_symlink(base + "/outside", base + "/srv/root/out");
    fs::create_symlink(base + "/srv/public", base + "/srv/root/pub");
  }
  static std::string Win(std::string path) {
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
  }
  TempDir dir;
  std::string base;
};

TEST_F(PathGuardTest, TheFileSystemRootAndNulAreRefused) {
  const PathGuard guard({base + "/srv/root", ""});
  for (const std::string& escape :
       {std::string("/"), base + "/srv/root" + std::string("/a\0b", 4)}) {
    EXPECT_EQ(guard.Confine(escape, LastLink::Follow), std::nullopt) << escape;
  }
}

TEST_F(PathGuardTest, PathsInsideEitherTreeResolve) {
  const PathGuard guard({Win(base + "/srv/root/"), base + "/srv/public"});
  const std::string r = base + "/srv/root";
  EXPECT_EQ(guard.Confine(Win(r + "/sub/new file.txt"), LastLink::Follow), r + "/sub/new file.txt");
  EXPECT_EQ(guard.Confine(r + "/sub/../x", LastLink::Follow), r + "/x");
  EXPECT_EQ(guard.Confine(r, LastLink::Follow), r);
  EXPECT_EQ(guard.Confine(r + "/pub/a.txt", LastLink::Follow), base + "/srv/public/a.txt")
      << "a link from one tree into the other";
  // The link itself lies inside, whatever it points at.
  EXPECT_EQ(guard.Confine(r + "/out", LastLink::Keep), r + "/out");
  EXPECT_EQ(guard.Confine(r + "/out/x", LastLink::Keep), std::nullopt);
}

TEST_F(PathGuardTest, EmptyOrRelativeRootsOpenNoTree) {
  const PathGuard none({"", "relative\\root"});
  EXPECT_EQ(none.Confine(base + "/srv/root/x", LastLink::Follow), std::nullopt);
  EXPECT_EQ(none.Confine("relative\\root\\x", LastLink::Follow), std::nullopt);
  EXPECT_FALSE(none.Contains("/"));
}

TEST_F(PathGuardTest, RootsAndTheirParentsHoldRoots) {
  const PathGuard guard({base + "/srv/root", base + "/srv/root/sub/public"});
  EXPECT_TRUE(guard.HoldsRoot(base + "/srv/root"));
  EXPECT_TRUE(guard.HoldsRoot(base + "/srv/root/sub")) << "holds the public folder";
  EXPECT_TRUE(guard.HoldsRoot(base + "/srv/root/sub/public"));
  EXPECT_FALSE(guard.HoldsRoot(base + "/srv/root/sub/public/x"));
  EXPECT_FALSE(guard.HoldsRoot(base + "/srv/root/other"));
  EXPECT_FALSE(guard.HoldsRoot(base + "/srv/root2"));
}

#else
// ---- Windows: names are compared without regard to case

TEST(WindowsPathGuard, TreesHoldTheirPathsInAnyCaseButNotTheirSiblings) {
  TempDir dir;
  const std::string base = dir.Path().string();
  fs::create_directories(dir.Path() / "Root" / "Sub");
  fs::create_directories(dir.Path() / "Root2");
  fs::create_directories(dir.Path() / "Public");
  const PathGuard guard({base + "\\root\\", base + "/PUBLIC"});
  EXPECT_EQ(guard.Confine(base + "\\ROOT\\sub\\New File.txt", LastLink::Follow),
            base + "\\Root\\Sub\\New File.txt");
  EXPECT_EQ(guard.Confine(base + "/public/x", LastLink::Keep), base + "\\Public\\x");
  EXPECT_TRUE(guard.Contains(base + "\\Root"));
  for (const std::string& escape :
       {base + "\\Root2\\x", base + "\\root2", base + "\\ROOT\\..\\Root2\\x", base,
        base + "\\Root\\x:stream", std::string("C:\\"), std::string("Root\\x")}) {
    EXPECT_EQ(guard.Confine(escape, LastLink::Follow), std::nullopt) << escape;
  }
  EXPECT_TRUE(guard.HoldsRoot(base + "\\root"));
  EXPECT_TRUE(guard.HoldsRoot(base));
  EXPECT_FALSE(guard.HoldsRoot(base + "\\Root\\Sub"));
  EXPECT_FALSE(guard.HoldsRoot(base + "\\Root2"));
}

TEST(WindowsPathGuard, EmptyOrRelativeRootsOpenNoTree) {
  const PathGuard none({"", "relative\\root"});
  EXPECT_EQ(none.Confine("C:\\x", LastLink::Follow), std::nullopt);
  EXPECT_FALSE(none.Contains("C:\\"));
}
#endif

}  // namespace
}  // namespace orvo::net
