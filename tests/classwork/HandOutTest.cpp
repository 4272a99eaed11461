#include "classwork/HandOut.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/classwork/ClassFixture.h"

namespace orvo::classwork {
namespace {

namespace fs = std::filesystem;
using testing::ClassFixture;
using testing::kStart;
using testing::RecordingProgress;

std::string Read(const std::string& path) {
  std::ifstream in(platform::Utf8Path(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whether anything named like a copy under way is left anywhere below `folder`.
bool LeavesPendingCopies(const std::string& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(platform::Utf8Path(folder))) {
    if (platform::PathText(entry.path().filename()).starts_with(".orvo-handout-")) return true;
  }
  return false;
}

class HandOutTest : public ::testing::Test {
 protected:
  HandOutTest() {
    fixture.AddStudent("李明");
    StudentFolder& wang = fixture.AddStudent("王芳");
    // Her own work under the name being handed out: it must stay as it is.
    fixture.Write(wang, "练习.docx", "王芳的答案", kStart);
    fixture.Write(wang, "第三课/练习.docx", "王芳的答案", kStart);
    fixture.AddStudent("张伟", false);  // folder missing
    fixture.AddStudent("赵敏");
    sheet = source.Write("讲义/练习.docx", "worksheet");
    source.Write("讲义/图/一.png", "png");
  }
  ClassFixture fixture;
  orvo::testing::TempDir source;
  std::string sheet;
};

TEST_F(HandOutTest, CopiesAFileToEveryStudentAndNeverOverwrites) {
  fs::permissions(platform::Utf8Path(sheet), fs::perms::owner_read, fs::perm_options::replace);
  RecordingProgress progress;
  const HandOutResult result = HandOut({fixture.Roster(), sheet, ""}, progress);
  ASSERT_FALSE(result.failure.has_value());
  EXPECT_EQ(result.copied, 2u);
  EXPECT_EQ(result.skipped, 1u);
  EXPECT_EQ(result.failed, 1u);
  ASSERT_EQ(result.students.size(), 4u);

  const auto& li = result.students[0];
  EXPECT_EQ(li.outcome, StudentHandOut::Outcome::kCopied);
  EXPECT_EQ(Read(li.target), "worksheet");
  // The copy can be filled in and saved even though the teacher's file is read-only.
  EXPECT_NE(fs::status(platform::Utf8Path(li.target)).permissions() & fs::perms::owner_write,
            fs::perms::none);

  const auto& wang = result.students[1];
  EXPECT_EQ(wang.outcome, StudentHandOut::Outcome::kSkipped);
  ASSERT_TRUE(wang.problem.has_value());
  EXPECT_EQ(wang.problem->fault, Fault::kExists);
  EXPECT_EQ(Read(wang.target), "王芳的答案");

  const auto& zhang = result.students[2];
  EXPECT_EQ(zhang.outcome, StudentHandOut::Outcome::kFailed);
  EXPECT_EQ(zhang.problem->fault, Fault::kFolderMissing);
  EXPECT_FALSE(fs::exists(platform::Utf8Path(fixture.Roster()[2].folder)));

  EXPECT_EQ(Read(result.students[3].target), "worksheet");
  EXPECT_FALSE(LeavesPendingCopies(fixture.Root()));
}

TEST_F(HandOutTest, CopiesAFolderIntoASubfolderMadeWhereMissing) {
  RecordingProgress progress;
  const HandOutResult result =
      HandOut({fixture.Roster(), source / "讲义", "第三课/材料"}, progress);
  ASSERT_FALSE(result.failure.has_value());
  EXPECT_EQ(result.sourceFiles, 2u);
  EXPECT_EQ(result.copied, 3u);  // Wang's "第三课" holds another name
  const std::string li = fixture.Roster()[0].folder;
  EXPECT_EQ(Read(li + "/第三课/材料/讲义/练习.docx"), "worksheet");
  EXPECT_EQ(Read(li + "/第三课/材料/讲义/图/一.png"), "png");
  EXPECT_EQ(Read(fixture.Roster()[1].folder + "/第三课/练习.docx"), "王芳的答案");
  EXPECT_FALSE(LeavesPendingCopies(fixture.Root()));
}

TEST_F(HandOutTest, RefusesBadInputBeforeCopyingAnything) {
  const struct {
    std::string source;
    std::string into;
    Fault fault;
  } cases[] = {
      {sheet, "../别人", Fault::kBadSubfolder},
      {sheet, "/etc", Fault::kBadSubfolder},
      {sheet, "a/./b", Fault::kBadSubfolder},
      {sheet, "bad:name", Fault::kBadSubfolder},
      {source / "没有这个.docx", "", Fault::kSourceMissing},
  };
  for (const auto& c : cases) {
    RecordingProgress progress;
    const HandOutResult result = HandOut({fixture.Roster(), c.source, c.into}, progress);
    ASSERT_TRUE(result.failure.has_value()) << c.into;
    EXPECT_EQ(result.failure->fault, c.fault) << c.into;
    EXPECT_TRUE(result.students.empty());
  }
  EXPECT_FALSE(fs::exists(platform::Utf8Path(fixture.Roster()[0].folder + "/练习.docx")));
}

TEST_F(HandOutTest, AFolderIsNotHandedOutIntoItself) {
  // The class folder handed out to its own students would copy itself without end.
  RecordingProgress progress;
  const HandOutResult result = HandOut({fixture.Roster(), fixture.Root(), ""}, progress);
  EXPECT_EQ(result.copied, 0u);
  for (const auto& student : result.students) {
    EXPECT_NE(student.outcome, StudentHandOut::Outcome::kCopied) << student.student.name;
  }
  EXPECT_FALSE(LeavesPendingCopies(fixture.Root()));
}

TEST_F(HandOutTest, StopsBetweenStudents) {
  RecordingProgress progress(1);
  const HandOutResult result = HandOut({fixture.Roster(), sheet, ""}, progress);
  ASSERT_TRUE(result.failure.has_value());
  EXPECT_EQ(result.failure->fault, Fault::kCancelled);
  EXPECT_EQ(result.students.size(), 1u);
  EXPECT_FALSE(fs::exists(platform::Utf8Path(fixture.Roster()[3].folder + "/练习.docx")));
}

}  // namespace
}  // namespace orvo::classwork
