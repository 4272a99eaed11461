#include "platform/FindData.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/ByteOrder.h"
#include "platform/FindFiles.h"
#include "tests/platform/DescribeFixture.h"
#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

using orvo::testing::TempDir;

TEST(FindDataRecord, FieldsSitAtTheirOffsetsLittleEndian) {
  FindData data;
  data.attributes = 0x00000421;
  data.creationTime = 0x0102030405060708;
  data.lastAccessTime = 0x1112131415161718;
  data.lastWriteTime = 0x2122232425262728;
  data.size = 0x0000000140000000;  // 5 * 2^30
  data.reparseTag = kSymlinkReparseTag;
  data.name = "中a";

  const std::string record = EncodeFindData(data);
  ASSERT_EQ(record.size(), 592u);
  EXPECT_EQ(LoadLe32(record, 0), 0x421u);
  EXPECT_EQ(record.substr(4, 8), std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
  EXPECT_EQ(LoadLe64(record, 12), data.lastAccessTime);
  EXPECT_EQ(LoadLe64(record, 20), data.lastWriteTime);
  EXPECT_EQ(LoadLe32(record, 28), 1u) << "size, high half first";
  EXPECT_EQ(LoadLe32(record, 32), 0x40000000u);
  EXPECT_EQ(LoadLe32(record, 36), 0xA000000Cu);
  EXPECT_EQ(LoadLe32(record, 40), 0u);
  EXPECT_EQ(record.substr(44, 6), std::string("\x2D\x4E"
                                              "a\0\0\0",
                                              6));
  EXPECT_EQ(record.substr(50), std::string(592 - 50, '\0'))
      << "rest of the name and the short name";
}

TEST(FindDataRecord, ShortNameSitsAtTheEndAndRoundTrips) {
  FindData data;
  data.name = "A very long file name.text";
  data.alternateName = "A_VE~5VY.TEX";
  const std::string record = EncodeFindData(data);
  EXPECT_EQ(record.substr(564, 4), std::string("A\0_\0", 4));
  EXPECT_EQ(LoadLe16(record, 564 + 2 * 12), 0u);
  const FindData back = DecodeFindData(record);
  EXPECT_EQ(back.name, data.name);
  EXPECT_EQ(back.alternateName, data.alternateName);
}

TEST(FindDataRecord, OverlongNamesKeepTheirTerminators) {
  FindData data;
  data.name = std::string(300, 'x');
  data.alternateName = std::string(20, 'y');
  const std::string record = EncodeFindData(data);
  EXPECT_EQ(LoadLe16(record, 44 + 2 * 258), 'x');
  EXPECT_EQ(LoadLe16(record, 44 + 2 * 259), 0u);
  EXPECT_EQ(LoadLe16(record, 564 + 2 * 12), 'y');
  EXPECT_EQ(LoadLe16(record, 564 + 2 * 13), 0u);
}

TEST(FindDataRecord, FileTimeCountsFrom1601) {
  EXPECT_EQ(ToFileTime(0, 0), 116444736000000000u);
  EXPECT_EQ(ToFileTime(1, 999), 116444736010000009u);
  EXPECT_EQ(ToFileTime(-11644473600, 0), 0u);
  EXPECT_EQ(ToFileTime(-11644473601, 0), 0u) << "before 1601 clamps to 0";
}

class FindFilesTest : public testing::DescribeFixture {};

TEST_F(FindFilesTest, FilesAndFoldersDescribeThemselves) {
  dir.Write("plain.txt", "12345");
  std::filesystem::create_directory(dir / "folder");
  const FindData plain = Describe("plain.txt");
  EXPECT_EQ(plain.attributes, attr::kArchive);
  EXPECT_EQ(plain.size, 5u);
  EXPECT_EQ(plain.name, "plain.txt");
  EXPECT_EQ(plain.reparseTag, 0u);
  EXPECT_NE(plain.lastWriteTime, 0u);
  const FindData folder = Describe("folder");
  EXPECT_EQ(folder.attributes, attr::kFolder);
  EXPECT_EQ(folder.size, 0u);
}

TEST_F(FindFilesTest, SparseFileOfFiveGibibytesSplitsItsSize) {
  const std::string path = dir.Write("big.bin", "");
  std::filesystem::resize_file(path, 5ULL << 30);
  const FindData data = Describe("big.bin");
  EXPECT_EQ(data.size >> 32, 1u);
  EXPECT_EQ(data.size & 0xFFFFFFFFu, 1u << 30);
}

TEST_F(FindFilesTest, MissingEntryAndTrailingSeparatorDescribeNothing) {
  EXPECT_FALSE(DescribeEntry(dir / "missing").has_value());
  EXPECT_FALSE(DescribeEntry(dir.Path().string() + "/").has_value());
}

TEST_F(FindFilesTest, FindMatchingLeavesOutDotEntriesAndNonMatches) {
  dir.Write("a.txt", "");
  dir.Write("B.TXT", "");
  dir.Write("c.doc", "");
  dir.Write(".dot.txt", "");
  std::vector<std::string> names;
  for (const FindData& data : FindMatching(dir.Path().string(), "*.txt"))
    names.push_back(data.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".dot.txt", "B.TXT", "a.txt"}));
  EXPECT_EQ(FindMatching(dir.Path().string(), "*.*").size(), 4u) << "no . or ..";
  EXPECT_TRUE(FindMatching(dir.Path().string(), "*.xls").empty());
  EXPECT_TRUE(FindMatching(dir / "missing", "*").empty());
  EXPECT_TRUE(FindMatching(dir.Path().string(), std::string(16000, '*')).empty())
      << "a pattern longer than any name";
}

}  // namespace
}  // namespace orvo::platform
