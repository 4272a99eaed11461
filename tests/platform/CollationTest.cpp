#include "platform/Collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace orvo::platform {
namespace {

using Names = std::vector<std::string>;

Names Sorted(Names names) {
  std::sort(names.begin(), names.end(), NameOrder());
  return names;
}

TEST(Collation, ChineseNamesSortByPinyinNotByCharacterCode) {
  // By code point the order would be 张 U+5F20, 李 U+674E, 王 U+738B, 赵 U+8D75, 阿 U+963F.
  EXPECT_EQ(Sorted({"张三", "李四", "王五", "阿明", "赵六"}),
            (Names{"阿明", "李四", "王五", "张三", "赵六"}));
  // Same first syllable: the next decides; a name that is a prefix comes first.
  EXPECT_EQ(Sorted({"王小明", "王五", "王"}), (Names{"王", "王五", "王小明"}));
}

TEST(Collation, LatinNamesSortByLetterWithCaseDecidingLast) {
  EXPECT_EQ(Sorted({"zhao", "Wang", "li", "Li", "wang"}),
            (Names{"li", "Li", "wang", "Wang", "zhao"}));
  // Digits as text, as a spreadsheet's column would sort them.
  EXPECT_EQ(Sorted({"s10", "s9", "s1"}), (Names{"s1", "s10", "s9"}));
}

TEST(Collation, MixedNamesKeepOneRepeatableOrder) {
  const Names mixed = {"张三", "Zhang", "阿明", "Amy", "李四", "li"};
  const Names once = Sorted(mixed);
  // Latin letters before Chinese characters, each group in its own order.
  EXPECT_EQ(once, (Names{"Amy", "li", "Zhang", "阿明", "李四", "张三"}));
  Names reversed(mixed.rbegin(), mixed.rend());
  EXPECT_EQ(Sorted(reversed), once);
}

TEST(Collation, OnlyIdenticalNamesCompareEqual) {
  EXPECT_EQ(CompareNames("张三", "张三"), 0);
  EXPECT_EQ(CompareNames("", ""), 0);
  EXPECT_LT(CompareNames("", "a"), 0);
  // Texts the collation may not tell apart still get an order, the same both ways round.
  const std::string composed = "\xC3\xA9";     // é
  const std::string decomposed = "e\xCC\x81";  // e and a combining acute accent
  const int ab = CompareNames(composed, decomposed);
  EXPECT_NE(ab, 0);
  EXPECT_EQ(CompareNames(decomposed, composed), -ab);
}

TEST(Collation, ThreadsCompareAtTheSameTime) {
  const Names expected = {"阿明", "李四", "王五", "张三", "赵六"};
  std::vector<Names> results(4);
  std::vector<std::thread> threads;
  for (Names& result : results) {
    threads.emplace_back([&result] {
      for (int round = 0; round < 200; ++round) {
        result = Sorted({"赵六", "张三", "王五", "李四", "阿明"});
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const Names& result : results) EXPECT_EQ(result, expected);
}

}  // namespace
}  // namespace orvo::platform
