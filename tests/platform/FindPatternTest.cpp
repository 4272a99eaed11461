#include "platform/FindPattern.h"

#include <gtest/gtest.h>

namespace orvo::platform {
namespace {

struct Case {
  const char* pattern;
  const char* name;
  bool matches;
};

class FindPatternCases : public ::testing::TestWithParam<Case> {};

TEST_P(FindPatternCases, MatchAsAWindowsFindDoes) {
  const Case& c = GetParam();
  EXPECT_EQ(MatchesFindPattern(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Wildcards, FindPatternCases,
    ::testing::Values(
        Case{"*", "anything.at.all", true}, Case{"*", ".hidden", true},
        Case{"*.*", "README", true},  // also names without a dot
        Case{"*.*", "a.b", true}, Case{"*.txt", "NOTES.TXT", true}, Case{"*.txt", "a.b.txt", true},
        Case{"*.txt", "a.txt.bak", false}, Case{"*.txt", "txt", false}, Case{"a*.*", "abc", true},
        Case{"a?c", "abc", true}, Case{"a?c", "ac", false},
        // A question mark before a dot or at the end may match nothing.
        Case{"a?", "a", true}, Case{"??.txt", "a.txt", true}, Case{"??.txt", "abc.txt", false},
        Case{"*.", "Makefile", true}, Case{"*.", "main.c", false}, Case{"a.*", "a", true},
        Case{"a.*", "a.doc", true}, Case{"a.*", "ab", false}, Case{"abc", "ABC", true},
        Case{"abc", "abcd", false},
        // Case folding reaches beyond ASCII; CJK names match by their characters.
        Case{"ä*", "Äpfel", true}, Case{"中*", "中文 名.doc", true}, Case{"*文*", "中文", true},
        Case{"*.doc", "中文.DOC", true}, Case{"[a]*", "[a]b", true}, Case{"<*", "<x", true}));

TEST(FindPattern, OnlyStarAndQuestionMarkAreWildcards) {
  EXPECT_TRUE(HasWildcards("*"));
  EXPECT_TRUE(HasWildcards("a?.txt"));
  EXPECT_FALSE(HasWildcards("plain [name].txt"));
  EXPECT_FALSE(HasWildcards(""));
}

TEST(FindPattern, LongNamesMatchWithoutBlowingUp) {
  const std::string name(255, 'a');
  EXPECT_TRUE(MatchesFindPattern("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*", name));
  EXPECT_FALSE(MatchesFindPattern("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b*", name));
}

}  // namespace
}  // namespace orvo::platform
