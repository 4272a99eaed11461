// UTF-8 decoding and encoding one code point at a time, shared by the code page conversions of
// every host. Pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvo::platform {

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at `pos`; returns the code point and advances `pos`, or returns
// kReplacement and advances over the maximal invalid subpart (one byte at least).
char32_t DecodeOne(std::string_view s, std::size_t& pos);

void AppendUtf8(std::string& out, char32_t cp);

}  // namespace orvo::platform
