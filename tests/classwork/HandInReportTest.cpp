#include "classwork/HandInReport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "classwork/Csv.h"
#include "classwork/LocalTime.h"
#include "tests/classwork/ClassFixture.h"
#include "tests/pack/TimeZone.h"

namespace orvo::classwork {
namespace {

using testing::ClassFixture;
using testing::kMinute;
using testing::kStart;
using testing::RecordingProgress;

const StudentWork& Of(const ClassReport& report, const std::string& name) {
  for (const StudentWork& work : report.students) {
    if (work.student.name == name) return work;
  }
  throw std::runtime_error("no row for " + name);
}

// Files before and after the start, at any depth; an upload under way; a student with nothing
// and one whose folder is missing.
class HandInReportTest : public ::testing::Test {
 protected:
  HandInReportTest() {
    StudentFolder& li = fixture.AddStudent("李明");
    fixture.Write(li, "作业1.docx", std::string(1000, 'a'), kStart + 5 * kMinute);
    fixture.Write(li, "草稿/图.png", std::string(24, 'b'), kStart + 30 * kMinute);
    fixture.Write(li, "上周.txt", "old", kStart - 60 * kMinute);
    fixture.Write(li, ".orvo-upload-0123456789abcdef", "half", kStart + 31 * kMinute);
    StudentFolder& wang = fixture.AddStudent("王芳");
    fixture.Write(wang, "旧作业.txt", "old", kStart - kMinute);
    fixture.AddStudent("张伟", false);
    StudentFolder& zhao = fixture.AddStudent("赵敏");
    fixture.Write(zhao, "刚好.txt", "12345", kStart);  // at the start counts
  }
  ClassFixture fixture;
};

TEST_F(HandInReportTest, CountsFilesChangedSinceTheStartAndNamesThoseWithout) {
  RecordingProgress progress;
  const ClassReport report = HandInReport(fixture.ClassName(), fixture.Roster(), kStart, progress);
  ASSERT_EQ(report.students.size(), 4u);
  EXPECT_FALSE(report.stopped);
  EXPECT_EQ(progress.students, (std::vector<std::string>{"李明", "王芳", "张伟", "赵敏"}));

  const StudentWork& li = Of(report, "李明");
  EXPECT_EQ(li.files, 2u);
  EXPECT_EQ(li.bytes, 1024u);
  EXPECT_EQ(li.newest, kStart + 30 * kMinute);
  EXPECT_EQ(StatusText(li), "已交");

  const StudentWork& wang = Of(report, "王芳");
  EXPECT_EQ(wang.files, 0u);
  EXPECT_EQ(wang.newest, 0u);
  EXPECT_EQ(StatusText(wang), "未交");

  const StudentWork& zhang = Of(report, "张伟");
  ASSERT_TRUE(zhang.problem.has_value());
  EXPECT_EQ(zhang.problem->fault, Fault::kFolderMissing);
  EXPECT_NE(StatusText(zhang).find("不存在"), std::string::npos);

  EXPECT_EQ(Of(report, "赵敏").files, 1u);
}

TEST_F(HandInReportTest, WithoutAStartEveryFileCounts) {
  RecordingProgress progress;
  const ClassReport report =
      HandInReport(fixture.ClassName(), fixture.Roster(), std::nullopt, progress);
  EXPECT_EQ(Of(report, "李明").files, 3u);  // the upload under way still is not
  EXPECT_EQ(Of(report, "王芳").files, 1u);
}

TEST_F(HandInReportTest, StopsBeforeTheNextStudentWhenAsked) {
  RecordingProgress progress(2);
  const ClassReport report = HandInReport(fixture.ClassName(), fixture.Roster(), kStart, progress);
  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(report.students.size(), 2u);
}

TEST_F(HandInReportTest, CsvHasTheByteOrderMarkTheColumnsAndOneRowPerStudent) {
  pack::testing::ScopedTimeZone zone("UTC0");
  RecordingProgress progress;
  const std::string csv =
      ReportCsv(HandInReport(fixture.ClassName(), fixture.Roster(), kStart, progress));
  EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(csv.substr(3),
            "班级,姓名,文件数,字节数,最后修改,状态\r\n"
            "初二（3）班,李明,2,1024,2026-12-11 08:30:00,已交\r\n"
            "初二（3）班,王芳,0,0,,未交\r\n"
            "初二（3）班,张伟,0,0,,学生文件夹“" +
                fixture.Roster()[2].folder +
                "”不存在\r\n"
                "初二（3）班,赵敏,1,5,2026-12-11 08:00:00,已交\r\n");
}

TEST(CsvTextTest, QuotesWhatNeedsItAndDisarmsFormulas) {
  const struct {
    const char* text;
    const char* field;
  } cases[] = {
      {"plain", "plain"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {" padded ", "\" padded \""},
      // A student's file name must not become a formula in the teacher's spreadsheet.
      {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
      {"+1", "'+1"},
      {"-2", "'-2"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tx", "'\tx"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvText(c.text), c.field) << c.text;
}

TEST(DefaultStartTest, TakesTheLatestLessonOfTheClassTodayThatHasBegun) {
  const platform::LocalDateTime now{2026, 12, 11, 10, 15, 30, 0, 5};  // a Friday
  const std::vector<store::TimeTableRow> lessons = {
      {1, 5, "08:00", "08:45", "初二（3）班", "", ""},
      {2, 5, "09:50", "10:35", "初二（3）班、初二（4）班", "", ""},
      {3, 5, "10:40", "11:25", "初二（3）班", "", ""},  // not begun yet
      {4, 5, "10:00", "10:45", "初一（1）班", "", ""},  // another class
      {5, 4, "10:10", "10:50", "初二（3）班", "", ""},  // Thursday
      {6, 5, "bad", "10:50", "初二（3）班", "", ""},
  };
  const auto start = [&](const std::string& name, int weekday = 0) {
    return MinuteText(DefaultStart(lessons, name, now, weekday));
  };
  EXPECT_EQ(start("初二（3）班"), "2026-12-11 09:50");
  EXPECT_EQ(start("初二（4）班"), "2026-12-11 09:50");
  EXPECT_EQ(start("初一（1）班"), "2026-12-11 10:00");
  EXPECT_EQ(start("初三（1）班"), "2026-12-11 00:00");     // no lesson today: the start of today
  EXPECT_EQ(start("初二（3）班", 4), "2026-12-11 10:10");  // the weekday adjustment
  const std::vector<store::TimeTableRow> everyone = {{7, 5, "10:05", "10:45", "*", "", ""}};
  EXPECT_EQ(MinuteText(DefaultStart(everyone, "初三（1）班", now)), "2026-12-11 10:05");
}

TEST(LocalTimeTest, ReadsMinutesAndRefusesWhatIsNoMoment) {
  const struct {
    const char* text;
    const char* read;  // nullptr: refused
  } cases[] = {
      {"2026-12-11 08:00", "2026-12-11 08:00"},
      {" 2026-1-2 8:05 ", "2026-01-02 08:05"},
      {"2026-12-11 08:00:59", "2026-12-11 08:00"},
      {"2028-02-29 00:00", "2028-02-29 00:00"},
      {"2026-02-29 00:00", nullptr},
      {"2026-12-11", nullptr},
      {"2026-12-11 24:00", nullptr},
      {"2026-13-01 08:00", nullptr},
      {"26-12-11 08:00", nullptr},
      {"2026-12-11 08:00x", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    const auto read = ParseLocalMinute(c.text);
    if (c.read == nullptr) {
      EXPECT_FALSE(read.has_value()) << c.text;
    } else {
      EXPECT_EQ(read ? MinuteText(*read) : "refused", c.read) << c.text;
    }
  }
}

TEST(LocalTimeTest, LocalTimesAndFileTimesConvertWithTheZone) {
  pack::testing::ScopedTimeZone zone("CST-8");
  const platform::LocalDateTime local = *ParseLocalMinute("2026-12-11 16:00");
  EXPECT_EQ(LocalToFileTime(local), kStart);
  EXPECT_EQ(FileTimeText(kStart + 90 * 10000000ull), "2026-12-11 16:01:30");
  EXPECT_EQ(MinuteText(FileTimeToLocal(kStart)), "2026-12-11 16:00");
}

}  // namespace
}  // namespace orvo::classwork
