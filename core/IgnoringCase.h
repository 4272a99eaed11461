// The one rule for names whose letter case does not count, class names above all: the console's
// lists and orvo-admin give the same answer. Full-width letters fold too, so "Ａ班" and "ａ班" are
// one name, while "A班" (a half-width letter) is another. Pure; any thread.
#pragma once

#include <string_view>

namespace orvo::core {

// Whether the UTF-8 texts `a` and `b` are equal ignoring letter case.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// An order in which letter case does not count; texts equal ignoring case keep their place in a
// stable sort.
bool LessIgnoringCase(std::string_view a, std::string_view b);

}  // namespace orvo::core
