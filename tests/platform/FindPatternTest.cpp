#include "platform/FindPattern.h"

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/Thread.h"

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
        Case{"*.doc", "中文.DOC", true}, Case{"[a]*", "[a]b", true}, Case{"<*", "<x", true},
        // A run of stars takes what one star takes; only a lone star before a dot stops at the
        // last dot.
        Case{"**.", "main.c", true}, Case{"***.txt", "a.b.txt", true}, Case{"a**", "a", true},
        Case{"a**?b", "ab", false}, Case{"**.*", "README", true}));

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

// Runs `body` on a thread with the stack a connection thread gets, where deep recursion would end
// the process.
void OnConnectionStack(const std::function<void()>& body) {
  JoinableThread thread(body, std::size_t{512} << 10);
  thread.Join();
}

TEST(FindPattern, HostilePatternsAndNamesFitOnAConnectionStack) {
  const std::string stars(16000, '*');
  const std::string longName = std::string(100000, 'a') + "b.txt";
  bool starsMatchShort = true;
  bool starsMatchLong = true;
  bool longNameMatches = false;
  bool longNameMisses = true;
  OnConnectionStack([&] {
    starsMatchShort = MatchesFindPattern(stars, "x.txt");
    starsMatchLong = MatchesFindPattern(stars, longName);
    longNameMatches = MatchesFindPattern("*b.txt", longName);
    longNameMisses = MatchesFindPattern("a*c*", longName);
  });
  EXPECT_FALSE(starsMatchShort) << "longer than any name: matches nothing";
  EXPECT_FALSE(starsMatchLong);
  EXPECT_TRUE(longNameMatches);
  EXPECT_FALSE(longNameMisses);
}

struct LengthCase {
  std::string pattern;
  std::string name;
  bool matches;
};

TEST(FindPattern, PatternsLongerThanANameMatchNothingCountedInUtf16Units) {
  const auto times = [](const std::string& text, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += text;
    return out;
  };
  const std::string han = times("中", 260);    // 260 units in 780 bytes
  const std::string smiles = times("😀", 130);  // 260 units as surrogate pairs
  for (const LengthCase& c : {
           LengthCase{std::string(259, '*') + "a", "a", true},
           LengthCase{std::string(260, '*') + "a", "a", false},
           LengthCase{han, han, true},
           LengthCase{han + "*", han, false},
           LengthCase{smiles, smiles, true},
           LengthCase{smiles + "?", smiles, false},
       }) {
    EXPECT_EQ(MatchesFindPattern(c.pattern, c.name), c.matches) << c.pattern.size() << " bytes";
    EXPECT_EQ(FindPattern(c.pattern).CanMatch(), c.matches);
  }
}

}  // namespace
}  // namespace orvo::platform
