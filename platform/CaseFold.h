// Letter case folded out of a text, as Windows compares file names: every UTF-16 unit mapped to
// its upper case, full-width and other non-Latin letters too, independent of the process locale.
// Pure, callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace orvo::platform {

// The UTF-16 units of `utf8` (an invalid sequence as U+FFFD), letter case folded: two texts that
// differ only in letter case give the same units.
std::u16string FoldedUnits(std::string_view utf8);

}  // namespace orvo::platform
