#include "platform/FindPattern.h"

#include <algorithm>
#include <string>

#include "platform/CaseFold.h"
#include "platform/CodePage.h"

namespace orvo::platform {
namespace {

std::u16string Units(std::string_view utf8) {
  return Utf8ToUtf16(SanitizeUtf8(utf8));
}

}  // namespace

bool HasWildcards(std::string_view component) {
  return component.find_first_of("*?") != std::string_view::npos;
}

bool FitsAName(std::string_view component) {
  // A UTF-16 unit comes from one to four bytes (a broken sequence from up to four too), so most
  // texts, and every hostile one, are judged without converting them.
  if (component.size() <= kMaxPatternUnits) return true;
  if (component.size() > 4 * kMaxPatternUnits) return false;
  return Units(component).size() <= kMaxPatternUnits;
}

FindPattern::FindPattern(std::string_view pattern) {
  if (!FitsAName(pattern)) return;
  canMatch_ = true;
  const std::u16string units = FoldedUnits(pattern);
  if (units == u"*.*") {
    elements_.push_back({Kind::Star, u'*', 0});
    return;
  }
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c == u'*') {
      // A run of stars takes what one star takes. Only a lone star before a dot stops at the
      // name's last dot; in a longer run the other stars reach past it all the same.
      const std::size_t end = std::min(units.find_first_not_of(u'*', i), units.size());
      const bool lone = end == i + 1;
      const bool beforeDot = end < units.size() && units[end] == u'.';
      elements_.push_back({lone && beforeDot ? Kind::DosStar : Kind::Star, c, 0});
      i = end - 1;
      continue;
    }
    const char16_t next = i + 1 < units.size() ? units[i + 1] : u'\0';
    if (c == u'?') {
      elements_.push_back({Kind::DosQm, c, 0});
    } else if (c == u'.' && (next == u'?' || next == u'*' || next == u'\0')) {
      elements_.push_back({Kind::DosDot, c, 0});
    } else {
      elements_.push_back({Kind::Literal, c, 0});
    }
  }
  for (std::size_t p = elements_.size(); p-- > 0;) {
    if (elements_[p].kind != Kind::DosQm) continue;
    const bool runGoesOn = p + 1 < elements_.size() && elements_[p + 1].kind == Kind::DosQm;
    elements_[p].runEnd = runGoesOn ? elements_[p + 1].runEnd : p + 1;
  }
}

// The pattern read as an automaton whose states are positions in it: `live` holds the positions
// reached after the first n units of the name. Each unit costs at most one pass over the pattern.
// States before the last live plain star are dropped: every way on from them passes that star,
// which can take whatever they would have taken before it. So "*a*b*c" costs little per unit.
bool FindPattern::Matches(std::string_view utf8Name) const {
  if (!canMatch_) return false;
  const std::u16string name = FoldedUnits(utf8Name);
  const std::size_t end = elements_.size();
  const std::size_t lastDot = name.rfind(u'.');
  // Entries below `low` are never read again, so neither array is cleared below it.
  std::vector<char> live(end + 1, 0);
  std::vector<char> next(end + 1, 0);
  live[0] = 1;
  std::size_t low = 0;
  for (std::size_t n = 0;; ++n) {
    const bool atEnd = n == name.size();
    const bool atDot = !atEnd && name[n] == u'.';
    // Moves that take no unit all lead forward, so one pass in pattern order finds them all.
    for (std::size_t p = low; p < end; ++p) {
      if (live[p] == 0) continue;
      const Element& e = elements_[p];
      switch (e.kind) {
        case Kind::Star:
          low = p;
          live[p + 1] = 1;
          break;
        case Kind::DosStar:
          live[p + 1] = 1;
          break;
        case Kind::DosQm:
          // At a dot or the end, the whole run of question marks matches nothing.
          if (atEnd || atDot) live[e.runEnd] = 1;
          break;
        case Kind::DosDot:
          if (atEnd) live[p + 1] = 1;
          break;
        case Kind::Literal:
          break;
      }
    }
    if (atEnd) return live[end] != 0;

    std::fill(next.begin() + static_cast<std::ptrdiff_t>(low), next.end(), 0);
    bool any = false;
    for (std::size_t p = low; p < end; ++p) {
      if (live[p] == 0) continue;
      const Element& e = elements_[p];
      std::size_t to = end + 1;
      switch (e.kind) {
        case Kind::Star:
          to = p;
          break;
        case Kind::DosStar:
          // Takes units up to, not including, the name's last dot.
          if (lastDot == std::u16string::npos || n < lastDot) to = p;
          break;
        case Kind::DosQm:
          if (!atDot) to = p + 1;
          break;
        case Kind::DosDot:
          if (atDot) to = p + 1;
          break;
        case Kind::Literal:
          if (name[n] == e.ch) to = p + 1;
          break;
      }
      if (to <= end) {
        next[to] = 1;
        any = true;
      }
    }
    if (!any) return false;
    live.swap(next);
  }
}

bool MatchesFindPattern(std::string_view pattern, std::string_view name) {
  return FindPattern(pattern).Matches(name);
}

}  // namespace orvo::platform
