// The wildcard rules of a find pattern's last component, as a Windows host applies them: '*' and
// '?' in the DOS flavour, case-insensitive, so that "*.*" also takes names without a dot and "a?"
// also takes "a". Matching runs without recursion in time bounded by pattern length times name
// length, so a hostile pattern costs little. Pure, callable from any thread.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace orvo::platform {

// The longest name, in UTF-16 units, that a find pattern is taken for; a longer pattern matches
// nothing, as no entry can carry so long a name.
inline constexpr std::size_t kMaxPatternUnits = 260;

bool HasWildcards(std::string_view component);

// Whether `component` (UTF-8) is short enough to be a name (kMaxPatternUnits).
bool FitsAName(std::string_view component);

// A pattern (UTF-8, one path component) prepared once for matching many names.
class FindPattern {
 public:
  explicit FindPattern(std::string_view pattern);

  // False when no name can match, so a folder need not be read at all.
  bool CanMatch() const { return canMatch_; }
  // Whether `name` (UTF-8) is taken.
  bool Matches(std::string_view name) const;

 private:
  // A Windows host rewrites the pattern before matching: '?' always, '*' before a dot, and a dot
  // before a wildcard or at the end take the DOS meanings.
  enum class Kind : unsigned char { Literal, Star, DosStar, DosQm, DosDot };
  struct Element {
    Kind kind;
    char16_t ch;
    // For DosQm: the element after its run of question marks.
    std::size_t runEnd;
  };

  std::vector<Element> elements_;
  bool canMatch_ = false;
};

// Whether `name` (UTF-8) is taken by `pattern` (UTF-8, one path component).
bool MatchesFindPattern(std::string_view pattern, std::string_view name);

}  // namespace orvo::platform
