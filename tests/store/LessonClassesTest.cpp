// A lesson's class text: how it splits into classes and which of its names match no class, with
// the class most likely meant.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "store/HalfWidth.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::store {
namespace {

const std::vector<std::string> kClasses = {"初二（3）班", "初二(4)班", "Class 7A", "7A", "高一2班"};

struct Case {
  const char* text;
  // Each unknown name as "name" or "name->suggestion", in the order reported.
  std::vector<std::string> unknown;
};

std::vector<std::string> Described(const std::vector<UnknownClass>& unknown) {
  std::vector<std::string> texts;
  for (const UnknownClass& u : unknown) {
    texts.push_back(u.suggestion.empty() ? u.name : u.name + "->" + u.suggestion);
  }
  return texts;
}

TEST(UnknownLessonClasses, NameEachUnknownItemWithTheClassItLooksLike) {
  const Case kCases[] = {
      {"初二（3）班", {}},
      {"*", {}},
      {"", {}},
      {" ,， ", {}},
      // Brackets of the other width: the existing class is suggested.
      {"初二(3)班", {"初二(3)班->初二（3）班"}},
      {"初二（4）班", {"初二（4）班->初二(4)班"}},
      // Full-width letters and digits, and letter case.
      {"７Ａ", {"７Ａ->7A"}},
      {"7a", {"7a->7A"}},
      // Several classes with every separator; only the unknown ones, each once.
      {"初二（3）班,7A", {}},
      {"初二（3）班，7A、高一2班；初二(4)班/7A|7A", {}},
      {"7A 初二(3)班　十班,十班", {"初二(3)班->初二（3）班", "十班"}},
      // A blank splits a name, so "Class 7A" is two items, neither of them a class name.
      {"Class 7A", {"Class"}},
      // "*" admits every class only as the whole text.
      {"7A,*", {"*"}},
      {"17A", {"17A"}},
      {"八班", {"八班"}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Described(UnknownLessonClasses(c.text, kClasses)), c.unknown) << '"' << c.text << '"';
  }
}

TEST(LessonItems, SplitAtEverySeparatorAndLeaveOutEmptyItems) {
  EXPECT_EQ(LessonItems("一班,二班，三班、四班;五班；六班/七班|八班 九班\t十班　十一班"),
            (std::vector<std::string_view>{"一班", "二班", "三班", "四班", "五班", "六班", "七班",
                                           "八班", "九班", "十班", "十一班"}));
  EXPECT_EQ(LessonItems(",,一班  ,"), std::vector<std::string_view>{"一班"});
  EXPECT_TRUE(LessonItems("").empty());
  EXPECT_TRUE(LessonItems(" ， ").empty());
  // The gate admits exactly the items.
  EXPECT_TRUE(LessonAdmits(" 一班 ,二班", "一班"));
  EXPECT_FALSE(LessonAdmits("十一班", "一班"));
  EXPECT_FALSE(LessonAdmits(",,", ""));
}

TEST(HalfWidth, ReadsFullWidthFormsAndLeavesEverythingElse) {
  EXPECT_EQ(HalfWidth("８：００"), "8:00");
  EXPECT_EQ(HalfWidth("初二（３）班　ＡｚＡ！～"), "初二(3)班 AzA!~");
  // The neighbours of the range, Chinese text and invalid bytes stay as they were.
  const std::string outside = "\xEF\xBC\x80 ｟ ∶ 点";  // U+FF00 and U+FF5F about the range
  EXPECT_EQ(HalfWidth(outside), outside);
  EXPECT_EQ(HalfWidth("a\xFF\xC3z"), "a\xFF\xC3z");
}

}  // namespace
}  // namespace orvo::store
