#include "platform/FindPattern.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <locale.h>
#include <wctype.h>
#endif

#include <cstddef>
#include <string>
#include <vector>

#include "platform/CodePage.h"

namespace orvo::platform {
namespace {

// A Windows host rewrites the pattern before matching: '?' always, '*' before a dot, and a dot
// before a wildcard or at the end take the DOS meanings below.
enum class Kind { Literal, Star, DosStar, DosQm, DosDot };

struct Element {
  Kind kind;
  char16_t ch;
};

char16_t Fold(char16_t unit) {
#ifdef _WIN32
  // The upper-case table that the file system itself compares names with.
  wchar_t folded = static_cast<wchar_t>(unit);
  CharUpperBuffW(&folded, 1);
  return static_cast<char16_t>(folded);
#else
  // Case folding must not depend on the process locale, which the programs never set.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  if (utf8 == locale_t{}) {
    return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
  }
  return static_cast<char16_t>(towupper_l(static_cast<wint_t>(unit), utf8));
#endif
}

std::u16string Folded(std::string_view utf8) {
  std::u16string units = Utf8ToUtf16(SanitizeUtf8(utf8));
  for (char16_t& unit : units) unit = Fold(unit);
  return units;
}

std::vector<Element> Compile(const std::u16string& pattern) {
  std::vector<Element> out;
  if (pattern == u"*.*") return {{Kind::Star, 0}};
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    const char16_t next = i + 1 < pattern.size() ? pattern[i + 1] : u'\0';
    if (c == u'?') {
      out.push_back({Kind::DosQm, c});
    } else if (c == u'*') {
      out.push_back({next == u'.' ? Kind::DosStar : Kind::Star, c});
    } else if (c == u'.' && (next == u'?' || next == u'*' || next == u'\0')) {
      out.push_back({Kind::DosDot, c});
    } else {
      out.push_back({Kind::Literal, c});
    }
  }
  return out;
}

class Matcher {
 public:
  Matcher(std::vector<Element> pattern, std::u16string name)
      : pattern_(std::move(pattern)),
        name_(std::move(name)),
        lastDot_(name_.rfind(u'.')),
        memo_((pattern_.size() + 1) * (name_.size() + 1), kUnknown) {}

  bool Run() { return Match(0, 0); }

 private:
  static constexpr signed char kUnknown = -1;

  bool Match(std::size_t p, std::size_t n) {
    signed char& slot = memo_[p * (name_.size() + 1) + n];
    if (slot == kUnknown) slot = Compute(p, n) ? 1 : 0;
    return slot == 1;
  }

  bool Compute(std::size_t p, std::size_t n) {
    const std::size_t nameEnd = name_.size();
    if (p == pattern_.size()) return n == nameEnd;
    const Element& e = pattern_[p];
    const bool more = n < nameEnd;
    switch (e.kind) {
      case Kind::Star:
        return Match(p + 1, n) || (more && Match(p, n + 1));
      case Kind::DosStar:
        // Takes characters up to, not including, the name's last dot.
        return Match(p + 1, n) ||
               (more && (lastDot_ == std::u16string::npos || n < lastDot_) && Match(p, n + 1));
      case Kind::DosQm: {
        if (more && name_[n] != u'.') return Match(p + 1, n + 1);
        // At a dot or the end, the whole run of question marks matches nothing.
        std::size_t q = p;
        while (q < pattern_.size() && pattern_[q].kind == Kind::DosQm) ++q;
        return Match(q, n);
      }
      case Kind::DosDot:
        if (more) return name_[n] == u'.' && Match(p + 1, n + 1);
        return Match(p + 1, n);
      case Kind::Literal:
        return more && name_[n] == e.ch && Match(p + 1, n + 1);
    }
    return false;
  }

  std::vector<Element> pattern_;
  std::u16string name_;
  std::size_t lastDot_;
  std::vector<signed char> memo_;
};

}  // namespace

bool HasWildcards(std::string_view component) {
  return component.find_first_of("*?") != std::string_view::npos;
}

bool MatchesFindPattern(std::string_view pattern, std::string_view name) {
  return Matcher(Compile(Folded(pattern)), Folded(name)).Run();
}

}  // namespace orvo::platform
