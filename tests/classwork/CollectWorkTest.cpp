#include "classwork/CollectWork.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/classwork/ClassFixture.h"
#include "tests/pack/ZipReader.h"
#ifndef _WIN32
#include "tests/pack/ZipTools.h"
#endif

namespace orvo::classwork {
namespace {

namespace fs = std::filesystem;
using testing::ClassFixture;
using testing::kMinute;
using testing::kStart;
using testing::RecordingProgress;

class CollectWorkTest : public ::testing::Test {
 protected:
  CollectWorkTest() {
    StudentFolder& li = fixture.AddStudent("李明");
    fixture.Write(li, "作业.txt", "homework", kStart + kMinute);
    fixture.Write(li, "旧.txt", "old", kStart - kMinute);
    fixture.AddStudent("王芳");
    fixture.AddStudent("张伟", false);
  }

  CollectRequest Request(std::optional<uint64_t> since = kStart) const {
    return {fixture.ClassName(), fixture.Roster(), since, archive, 2};
  }

  // The archive read back by the tests' own strict reader.
  pack::testing::ReadArchive Read() const {
    std::ifstream in(platform::Utf8Path(archive), std::ios::binary);
    return pack::testing::ReadZip(std::string(std::istreambuf_iterator<char>(in), {}));
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : Read().entries) names.push_back(entry.name);
    return names;
  }

  ClassFixture fixture;
  orvo::testing::TempDir out;
  std::string archive = out / "collected.zip";
};

TEST_F(CollectWorkTest, PacksTheWorkSinceTheStartAndTheManifestLast) {
  RecordingProgress progress;
  const CollectResult result = CollectWork(Request(), progress);
  ASSERT_FALSE(result.failure.has_value());
  EXPECT_TRUE(result.complete);
  EXPECT_TRUE(result.archiveKept);
  EXPECT_EQ(result.files, 1u);
  EXPECT_EQ(result.studentsWithWork, 1u);
  EXPECT_EQ(result.studentsWithout, 2u);
  ASSERT_EQ(result.skipped.size(), 1u);  // Zhang's missing folder
  EXPECT_EQ(result.skipped[0].fault, Fault::kFolderMissing);
  EXPECT_EQ(Names(),
            (std::vector<std::string>{"初二（3）班/李明/作业.txt", "初二（3）班/清单.csv"}));
#ifndef _WIN32
  const pack::testing::ToolVerdict unzip = pack::testing::UnzipTest(archive);
  EXPECT_TRUE(!unzip.ran || unzip.ok) << unzip.detail;
#endif
}

TEST_F(CollectWorkTest, AFileThatCannotBeReadIsNamedInTheManifestAndTheRestGoesOn) {
#ifdef _WIN32
  GTEST_SKIP() << "a dangling link needs rights a Windows test does not have";
#else
  fs::create_symlink("/nonexistent/homework",
                     platform::Utf8Path(fixture.Roster()[1].folder) / "丢失.txt");
  fixture.Write(fixture.Roster()[1], "好的.txt", "fine", kStart + kMinute);
  RecordingProgress progress;
  const CollectResult result = CollectWork(Request(std::nullopt), progress);
  EXPECT_TRUE(result.complete);
  EXPECT_EQ(result.files, 3u);
  ASSERT_EQ(result.skipped.size(), 2u);
  EXPECT_EQ(result.skipped[0].fault, Fault::kFileUnreadable);
  EXPECT_EQ(result.skipped[0].student, "王芳");
  const std::string manifest = Read().entries.back().content;
  EXPECT_NE(manifest.find("王芳,丢失.txt,,,,未收取：无法读取文件"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("张伟,,,,,学生文件夹"), std::string::npos) << manifest;
#endif
}

TEST_F(CollectWorkTest, AnArchiveInsideTheClassIsNotPackedIntoItself) {
  archive = fixture.Roster()[0].folder + "/收取.zip";
  RecordingProgress progress;
  const CollectResult result = CollectWork(Request(std::nullopt), progress);
  EXPECT_TRUE(result.complete);
  for (const std::string& name : Names()) EXPECT_EQ(name.find("收取.zip"), std::string::npos);
}

TEST_F(CollectWorkTest, StoppedOrUnwritableLeavesNoArchive) {
  RecordingProgress stopAtSecond(1);
  const CollectResult stopped = CollectWork(Request(), stopAtSecond);
  ASSERT_TRUE(stopped.failure.has_value());
  EXPECT_EQ(stopped.failure->fault, Fault::kCancelled);
  EXPECT_FALSE(stopped.archiveKept);
  EXPECT_FALSE(fs::exists(platform::Utf8Path(archive)));

  archive = out / "no-such-folder/collected.zip";
  RecordingProgress progress;
  const CollectResult unwritable = CollectWork(Request(), progress);
  ASSERT_TRUE(unwritable.failure.has_value());
  EXPECT_EQ(unwritable.failure->fault, Fault::kArchiveCreate);
  EXPECT_NE(EnglishText(*unwritable.failure).find("no-such-folder"), std::string::npos);
  EXPECT_FALSE(unwritable.archiveKept);
}

TEST(DefaultArchiveNameTest, StampsTheMinuteAndReplacesWhatAFileNameCannotHold) {
  const platform::LocalDateTime now{2026, 12, 11, 9, 5, 0, 0, 5};
  EXPECT_EQ(DefaultArchiveName("初二（3）班", now), "初二（3）班-20261211-0905.zip");
  EXPECT_EQ(DefaultArchiveName("a/b:c*", now), "a_b_c_-20261211-0905.zip");
}

}  // namespace
}  // namespace orvo::classwork
