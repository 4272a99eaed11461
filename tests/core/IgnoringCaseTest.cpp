#include "core/IgnoringCase.h"

#include <gtest/gtest.h>

namespace orvo::core {
namespace {

struct Case {
  const char* a;
  const char* b;
  bool equal;
};

class IgnoringCaseCases : public ::testing::TestWithParam<Case> {};

TEST_P(IgnoringCaseCases, FoldLettersOfEveryWidth) {
  const Case& c = GetParam();
  EXPECT_EQ(EqualIgnoringCase(c.a, c.b), c.equal) << c.a << " vs " << c.b;
  EXPECT_EQ(EqualIgnoringCase(c.b, c.a), c.equal) << c.b << " vs " << c.a;
  // Equal names sort together: neither comes before the other.
  if (c.equal) {
    EXPECT_FALSE(LessIgnoringCase(c.a, c.b) || LessIgnoringCase(c.b, c.a)) << c.a;
  }
}

INSTANTIATE_TEST_SUITE_P(ClassNames, IgnoringCaseCases,
                         ::testing::Values(Case{"Ａ班", "ａ班", true},  // full-width letters
                                           Case{"Ａ班", "A班", false}, Case{"ａ班", "a班", false},
                                           Case{"A班", "a班", true}, Case{"3A", "3a", true},
                                           Case{"3A", "3Ａ", false},
                                           Case{"Ω组", "ω组", true},  // Greek
                                           Case{"Д", "д", true},      // Cyrillic
                                           Case{"一班", "一班", true}, Case{"一班", "二班", false},
                                           Case{"", "", true}, Case{"A", "", false},
                                           Case{"AB", "A", false}));

TEST(IgnoringCase, OrdersByLettersNotByCase) {
  EXPECT_TRUE(LessIgnoringCase("abc", "ABD"));
  EXPECT_TRUE(LessIgnoringCase("ABC", "abd"));
  EXPECT_FALSE(LessIgnoringCase("abd", "ABC"));
  EXPECT_TRUE(LessIgnoringCase("A", "AB"));
}

}  // namespace
}  // namespace orvo::core
