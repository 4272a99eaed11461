// Which lessons a new one overlaps: the gate lets in only the first lesson on at a moment.
#include "store/LessonOverlap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvo::store {
namespace {

TimeTableRow Lesson(int32_t id, int32_t week, const char* begin, const char* end,
                    const char* group) {
  return {id, week, begin, end, group, "", ""};
}

std::vector<int32_t> Ids(const std::vector<TimeTableRow>& rows) {
  std::vector<int32_t> ids;
  for (const TimeTableRow& row : rows) ids.push_back(row.id);
  return ids;
}

TEST(LessonOverlap, NamesTheLessonsOnAtTheSameTimeForOtherClasses) {
  const std::vector<TimeTableRow> rows = {
      Lesson(1, 1, "08:00", "08:45", "初二(3)班"),
      Lesson(2, 1, "08:55", "09:40", "初二（1）班"),
      Lesson(3, 2, "08:00", "08:45", "初二（2）班"),
      Lesson(4, 1, "not a time", "09:00", "x"),
      Lesson(5, 1, "下午2:00", "下午2:45", "初三（1）班"),
  };
  const struct {
    const char* begin;
    const char* end;
    const char* group;
    std::vector<int32_t> ids;
  } kCases[] = {
      {"08:00", "08:45", "初二（3）班", {1}},        // the same time, the class mistyped before
      {"08:30", "09:00", "初二（3）班", {1, 2}},     // across two lessons
      {"08:45", "08:55", "初二（3）班", {}},         // between them: touching is no overlap
      {"07:00", "08:00", "初二（3）班", {}},         // ends as the first starts
      {"14:30", "15:00", "初二（3）班", {5}},        // read as the gate reads 下午2:00
      {"８：１０", "８：２０", "初二（3）班", {1}},  // full-width, as an input method types
      {"08:00", "08:45", "初二(3)班", {}},           // the same classes: nothing changes
      {"bad", "08:45", "初二（3）班", {}},           // a bad text has no time to compare
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Ids(OverlappingLessons(rows, 1, c.begin, c.end, c.group)), c.ids)
        << c.begin << "-" << c.end;
  }
  EXPECT_TRUE(
      OverlappingLessons({Lesson(6, 3, "08:00", "09:00", "一班,二班")}, 3, "08:30", "09:30", "二班")
          .empty())
      << "the earlier lesson lets the class in too";
  EXPECT_EQ(Ids(OverlappingLessons(rows, 2, "08:30", "09:00", "初二（3）班")),
            std::vector<int32_t>{3})
      << "only the weekday's lessons";
}

}  // namespace
}  // namespace orvo::store
