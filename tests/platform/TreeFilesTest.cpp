#include "platform/TreeFiles.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/PendingFile.h"
#include "platform/ReplacementFile.h"
#include "platform/Utf8Path.h"
#include "platform/VolumeSpace.h"
#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

using orvo::testing::TempDir;
namespace fs = std::filesystem;

TEST(ForEachFileBelow, ReachesEveryDepthButNeverThroughALink) {
  TempDir dir;
  TempDir outside;
  outside.Write("secret.bin", std::string(1000, 's'));
  dir.Write("tree/a.txt", "aaa");
  dir.Write("tree/.hidden", "h");
  std::string deep = "tree";
  for (int level = 0; level < 200; ++level) deep += "/d";
  dir.Write(deep + "/bottom.txt", "bottom");
  fs::create_directory(dir / "tree/empty");
  std::error_code noLinks;
  fs::create_directory_symlink(outside.Path(), fs::path(dir / "tree/out"), noLinks);

  std::map<std::string, uint64_t> seen;
  ForEachFileBelow(dir / "tree", [&](const TreeFile& file) {
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(Utf8Path(std::string(file.path)))));
    EXPECT_EQ(Utf8Path(std::string(file.path)).filename(), Utf8Path(std::string(file.name)));
    seen[std::string(file.name)] += file.bytes;
  });
  EXPECT_EQ(seen,
            (std::map<std::string, uint64_t>{{".hidden", 1}, {"a.txt", 3}, {"bottom.txt", 6}}));

  bool any = false;
  ForEachFileBelow(dir / "missing", [&](const TreeFile&) { any = true; });
  EXPECT_FALSE(any);
}

TEST(RemoveLeftoverUploads, TakesExactlyTheUploadTemporariesAtAnyDepth) {
  TempDir dir;
  const std::string prefix(kUploadPrefix);
  const std::vector<std::string> leftovers = {prefix + "0123456789abcdef",
                                              "class/student/" + prefix + "fedcba9876543210",
                                              "class/student/sub/" + prefix + "0000000000000000"};
  std::vector<std::string> kept = {
      "notes.txt",
      prefix + "notes.txt",               // a student's own name
      prefix + "0123456789abcde",         // one digit short
      prefix + "0123456789abcdef0",       // one digit long
      prefix + "0123456789abcdeg",        // not hex
      prefix + "0123456789abcdef.txt",    // something after it
      "x" + prefix + "0123456789abcdef",  // something before it
      ".orvo-move-0123456789abcdef",      // another kind of temporary
      "orvo-upload-0123456789abcdef",     // without the dot
      "class/" + prefix.substr(0, prefix.size() - 1) + "_0123456789abcdef"};
#ifndef _WIN32
  // Upper case is not ours (a name Windows would take for one of the leftovers above).
  kept.push_back(prefix + "0123456789ABCDEF");
#endif
  for (const std::string& name : leftovers) dir.Write(name, "left");
  for (const std::string& name : kept) dir.Write(name, "mine");
  fs::create_directories(dir / ("class/" + prefix + "aaaaaaaaaaaaaaaa"));  // a folder stays too

  RemoveLeftoverUploads(dir.Path().string());
  for (const std::string& name : leftovers) EXPECT_FALSE(fs::exists(Utf8Path(dir / name))) << name;
  for (const std::string& name : kept) EXPECT_EQ(TempDir::Read(dir / name), "mine") << name;
  EXPECT_TRUE(fs::is_directory(Utf8Path(dir / ("class/" + prefix + "aaaaaaaaaaaaaaaa"))));
}

TEST(RemoveLeftoverUploads, TheNamingIsTheOneUploadsUse) {
  TempDir dir;
  const std::string target = dir.Write("doc.txt", "old");
  auto upload = ReplacementFile::Open(target);
  ASSERT_TRUE(upload);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.Path()))
    names.push_back(entry.path().filename().string());
  ASSERT_EQ(names.size(), 2u);
  const std::string temporary = names[0] == "doc.txt" ? names[1] : names[0];
  EXPECT_TRUE(IsNameBeside(temporary, kUploadPrefix)) << temporary;
}

TEST(VolumeSpace, FreeSpaceLiesWithinTheVolume) {
  TempDir dir;
  const auto space = SpaceOfVolume(dir.Path().string());
  ASSERT_TRUE(space);
  EXPECT_GT(space->totalBytes, 0u);
  EXPECT_LE(space->freeBytes, space->totalBytes);
  EXPECT_FALSE(SpaceOfVolume((dir / "missing/folder")));
}

}  // namespace
}  // namespace orvo::platform
