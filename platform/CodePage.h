// Text conversions at the edges of the system. Inside core, store and net a text is UTF-8.
// Text lists leave in the host's ANSI code page: fixed to 936 (GBK) on hosts without one, because
// the clients are Chinese Windows PCs. All functions are pure and thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace orvo::platform {

// Code page number of the host's ANSI code page (936 here).
unsigned AnsiCodePage();

// UTF-8 to the ANSI code page; a character the code page lacks becomes '?' (0x3F).
std::string Utf8ToAnsi(std::string_view utf8);

// ANSI code page to UTF-8; a byte sequence the code page does not define becomes U+FFFD.
std::string AnsiToUtf8(std::string_view ansi);

// Bytes as UTF-8 with every invalid sequence replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view bytes);

// UTF-8 (assumed valid) to UTF-16 code units and back.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace orvo::platform
