#include <gtest/gtest.h>

#include "core/TextList.h"
#include "platform/CodePage.h"

namespace orvo::core {
namespace {

TEST(TextList, EncodesEveryLineWithCrLfAndNothingElse) {
  EXPECT_EQ(EncodeTextList({}), "");
  EXPECT_EQ(EncodeTextList({"a", "b"}), "a\r\nb\r\n");
  EXPECT_EQ(EncodeTextList({""}), "\r\n");
}

TEST(TextList, UsesTheGbkCodePageAndQuestionMarkForMissingCharacters) {
  EXPECT_EQ(EncodeTextList({"课堂资源"}), "\xBF\xCE\xCC\xC3\xD7\xCA\xD4\xB4\r\n");
  // U+1F600 (an emoji) and U+0E01 (Thai) are not in GBK. Windows replaces each of the emoji's
  // two UTF-16 units on its own.
#ifdef _WIN32
  EXPECT_EQ(EncodeTextList({"a\xF0\x9F\x98\x80"
                            "b\xE0\xB8\x81"}),
            "a??b?\r\n");
#else
  EXPECT_EQ(EncodeTextList({"a\xF0\x9F\x98\x80"
                            "b\xE0\xB8\x81"}),
            "a?b?\r\n");
#endif
}

TEST(TextList, DecodeReversesEncode) {
  const std::vector<std::string> lines = {"张三", "", "Class 1 B", "二年级（3）班"};
  EXPECT_EQ(DecodeTextList(EncodeTextList(lines)), lines);
}

TEST(CodePage, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(platform::SanitizeUtf8("ok"), "ok");
  EXPECT_EQ(platform::SanitizeUtf8("a\xFF"
                                   "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(platform::SanitizeUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD") << "overlong form";
  EXPECT_EQ(platform::SanitizeUtf8("\xE4\xB8"), "\xEF\xBF\xBD") << "truncated sequence";
  EXPECT_EQ(platform::SanitizeUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD")
      << "surrogate";
  EXPECT_EQ(platform::SanitizeUtf8("中"), "中");
}

TEST(CodePage, Utf16RoundTripIncludingSurrogatePairs) {
  const std::string text = "名字 \xF0\x9F\x98\x80.txt";
  const std::u16string wide = platform::Utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 9u);
  EXPECT_EQ(platform::Utf16ToUtf8(wide), text);
}

}  // namespace
}  // namespace orvo::core
