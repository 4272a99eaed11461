#include "store/TimeText.h"

#include <gtest/gtest.h>

#include <string>

namespace orvo::store {
namespace {

constexpr int32_t Ms(int hour, int minute, int second = 0, int millisecond = 0) {
  return ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
}

struct Valid {
  const char* text;
  int32_t ms;
};

class ValidTimeTexts : public ::testing::TestWithParam<Valid> {};

TEST_P(ValidTimeTexts, ParseToTheirTimeOfDay) {
  const Valid& c = GetParam();
  EXPECT_EQ(ParseTimeText(c.text), c.ms) << '"' << c.text << '"';
  int32_t out = -1;
  EXPECT_TRUE(TryParseTimeText(c.text, out)) << '"' << c.text << '"';
  EXPECT_EQ(out, c.ms);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, ValidTimeTexts,
    ::testing::Values(
        // The hour alone is the full hour; minutes, seconds and milliseconds follow in order.
        Valid{"16", Ms(16, 0)}, Valid{"16:05", Ms(16, 5)}, Valid{"08:00", Ms(8, 0)},
        Valid{"8:5", Ms(8, 5)}, Valid{"0", 0}, Valid{"00:00:00.000", 0},
        Valid{"23:59:59.999", Ms(23, 59, 59, 999)}, Valid{"7:08:09", Ms(7, 8, 9)},
        // The milliseconds are a count, not a fraction.
        Valid{"7:08:09.5", Ms(7, 8, 9, 5)},
        // Leading zeros never overflow, however many there are.
        Valid{"000000000000000000000000000000000000000008:00", Ms(8, 0)},
        // Blanks before every number, separator and word and at the end.
        Valid{" 08:00", Ms(8, 0)}, Valid{"08:00   ", Ms(8, 0)},
        Valid{"  8 : 05 : 30 . 250  ", Ms(8, 5, 30, 250)},
        // AM/PM words, before or after, Latin ones in any case.
        Valid{"4:05 PM", Ms(16, 5)}, Valid{"4:05PM", Ms(16, 5)}, Valid{"PM 4:05", Ms(16, 5)},
        Valid{"pm4:05", Ms(16, 5)}, Valid{"4:05 am", Ms(4, 5)}, Valid{"4 Pm", Ms(16, 0)},
        Valid{"12 AM", 0}, Valid{"12:30 AM", Ms(0, 30)}, Valid{"12 PM", Ms(12, 0)},
        Valid{"12:59:59.999 PM", Ms(12, 59, 59, 999)},
        Valid{"11:59:59.999 PM", Ms(23, 59, 59, 999)}, Valid{"1 AM", Ms(1, 0)},
        // The host's words (those of a Chinese Windows host).
        Valid{"下午4:05", Ms(16, 5)}, Valid{"上午 9:30", Ms(9, 30)}, Valid{"4:05 下午", Ms(16, 5)},
        Valid{"12:00上午", 0}));

// As a Chinese input method types them: full-width digits, colon, full stop, letters and blank.
INSTANTIATE_TEST_SUITE_P(FullWidth, ValidTimeTexts,
                         ::testing::Values(Valid{"８：００", Ms(8, 0)}, Valid{"8：00", Ms(8, 0)},
                                           Valid{"８:０５", Ms(8, 5)},
                                           Valid{"１６：０５：３０．２５０", Ms(16, 5, 30, 250)},
                                           Valid{"　8：00　", Ms(8, 0)},
                                           Valid{"4：05 ＰＭ", Ms(16, 5)},
                                           Valid{"下午４：０５", Ms(16, 5)}));

class InvalidTimeTexts : public ::testing::TestWithParam<const char*> {};

TEST_P(InvalidTimeTexts, AreRefusedWithTheirTextInTheMessage) {
  const std::string text = GetParam();
  try {
    ParseTimeText(text);
    ADD_FAILURE() << '"' << text << "\" parsed";
  } catch (const TimeTextError& error) {
    EXPECT_EQ(std::string(error.what()), "'" + text + "' is not a valid time");
  }
  int32_t out = 1234;
  EXPECT_FALSE(TryParseTimeText(text, out)) << '"' << text << '"';
  EXPECT_EQ(out, 1234);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, InvalidTimeTexts,
    ::testing::Values(
        // Out of range.
        "24:00", "24", "23:60", "23:00:60", "23:00:00.1000", "16:05 PM", "13 PM", "0 AM",
        "00:30 AM", "0:00 PM",
        // Missing or surplus pieces.
        "", " ", "8:", "8::00", ":30", "8:00:", "8:00:00.", "8:00.5", "8:00x", "x8:00", "8 00",
        "-1", "+8", "8h", "AM", "PM PM 4", "PM 4 AM", "4 AM PM", "8\t", "\t8", "A M 8", "4 P",
        // A digit run far beyond any counter must be refused, not wrap around to a valid hour.
        "4294967304", "18446744073709551624:00", "8:4294967301",
        "1000000000000000000000000000000000000008", "8:00:00.18446744073709551617",
        // Full-width forms are read as their half-width characters, and no further.
        "２４：００", "8：", "8∶00", "8点", "８：００ｘ"));

struct LessonTimesCase {
  const char* begin;
  const char* end;
  LessonTimesFault fault;
};

TEST(LessonTimes, NameTheTextThatIsWrong) {
  const LessonTimesCase kCases[] = {
      {"08:00", "08:45", LessonTimesFault::kNone},
      {"８：００", "8：45", LessonTimesFault::kNone},
      {"23:00", "23:59:59.999", LessonTimesFault::kNone},
      {"24:00", "08:45", LessonTimesFault::kBadBegin},
      {"24:00", "nonsense", LessonTimesFault::kBadBegin},  // the start is looked at first
      {"", "08:45", LessonTimesFault::kBadBegin},
      {"08:00", "", LessonTimesFault::kBadEnd},
      {"08:00", "8:45x", LessonTimesFault::kBadEnd},
      {"09:00", "08:45", LessonTimesFault::kEndNotAfterBegin},
      {"08:00", "８：００", LessonTimesFault::kEndNotAfterBegin},  // equal is not after
      {"22:00", "02:00", LessonTimesFault::kEndNotAfterBegin},
  };
  for (const LessonTimesCase& c : kCases) {
    EXPECT_EQ(CheckLessonTimes(c.begin, c.end), c.fault) << c.begin << " - " << c.end;
  }
}

TEST(TimeTextSettings, SeparatorsAndWordsComeFromTheRegionalSettings) {
  platform::RegionalSettings german;
  german.timeSeparator = ".";
  german.decimalSeparator = ",";
  german.amWord = "vorm.";
  german.pmWord = "nachm.";
  EXPECT_EQ(ParseTimeText("16.05.30,5", german), Ms(16, 5, 30, 5));
  EXPECT_EQ(ParseTimeText("4.05 NACHM.", german), Ms(16, 5));
  // The Latin words are understood whatever the host's are.
  EXPECT_EQ(ParseTimeText("4.05 PM", german), Ms(16, 5));
  EXPECT_THROW(ParseTimeText("16:05", german), TimeTextError);
  EXPECT_THROW(ParseTimeText("下午4.05", german), TimeTextError);
}

TEST(TimeTextSettings, HostUsesColonDotAndChineseWords) {
  const platform::RegionalSettings& host = platform::HostRegional();
  EXPECT_EQ(host.timeSeparator, ":");
  EXPECT_EQ(host.decimalSeparator, ".");
  EXPECT_EQ(host.amWord, "上午");
  EXPECT_EQ(host.pmWord, "下午");
}

}  // namespace
}  // namespace orvo::store
