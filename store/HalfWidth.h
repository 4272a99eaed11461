// Full-width forms of the ASCII characters, as a Chinese input method types them ("８：００",
// "（3）"), and the ideographic space, read as their half-width characters, so that what the
// operator meant is what the service compares. Pure; any thread.
#pragma once

#include <string>
#include <string_view>

namespace orvo::store {

// `utf8` with U+FF01 to U+FF5E as U+0021 to U+007E and U+3000 as a blank; every other byte,
// invalid sequences included, stays as it was.
std::string HalfWidth(std::string_view utf8);

}  // namespace orvo::store
