// Find patterns and names far longer than the input itself: a byte either adds a piece (a
// wildcard, a dot, letters of both cases, a CJK character, a surrogate pair, a broken sequence)
// or repeats the last piece up to a few thousand times, so runs of stars and names of tens of
// thousands of units come up within the default input length. Whatever the texts, matching must
// neither crash nor exhaust the stack, and must keep the rules every pattern obeys.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FindPattern.h"

namespace {

constexpr std::size_t kMaxTextBytes = 20000;

std::string Expand(const uint8_t* data, std::size_t size) {
  static constexpr std::string_view kPieces[] = {"*",  "?", ".",    "a",  "B", " ",
                                                 "中", "😀", "\xC3", "*.", "?."};
  constexpr std::size_t kPieceCount = sizeof kPieces / sizeof kPieces[0];
  std::string out;
  std::string_view last = kPieces[0];
  for (std::size_t i = 0; i < size && out.size() < kMaxTextBytes; ++i) {
    if (data[i] >= 0xC0) {
      const std::size_t repeats = std::size_t{data[i] - 0xBFu} * 61;
      for (std::size_t r = 0; r < repeats && out.size() < kMaxTextBytes; ++r) out += last;
    } else {
      last = kPieces[data[i] % kPieceCount];
      out += last;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte says where the pattern's bytes end and the name's begin.
  const std::size_t cut = std::min<std::size_t>(data[0], size - 1);
  const std::string pattern = Expand(data + 1, cut);
  const std::string name = Expand(data + 1 + cut, size - 1 - cut);

  const bool matches = orvo::platform::MatchesFindPattern(pattern, name);
  if (!orvo::platform::FitsAName(pattern) && matches) __builtin_trap();
  if (!orvo::platform::MatchesFindPattern("*", name)) __builtin_trap();
  // Without wildcards, a pattern short enough to be a name takes its own text.
  if (!orvo::platform::HasWildcards(pattern) && orvo::platform::FitsAName(pattern) &&
      !orvo::platform::MatchesFindPattern(pattern, pattern)) {
    __builtin_trap();
  }
  return 0;
}
