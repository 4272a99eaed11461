// The wildcard rules of a find pattern's last component, as a Windows host applies them: '*' and
// '?' in the DOS flavour, case-insensitive, so that "*.*" also takes names without a dot and "a?"
// also takes "a". Pure functions, callable from any thread.
#pragma once

#include <string_view>

namespace orvo::platform {

bool HasWildcards(std::string_view component);

// Whether `name` (UTF-8) is taken by `pattern` (UTF-8, one path component).
bool MatchesFindPattern(std::string_view pattern, std::string_view name);

}  // namespace orvo::platform
