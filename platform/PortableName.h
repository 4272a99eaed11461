// The one rule for the names clients may create, the same on every host: a name that a Windows
// client can hold, show and pack. Entries that already carry other names are left alone. Pure,
// any thread.
#pragma once

#include <string_view>

namespace orvo::platform {

// Whether Windows takes `name` (UTF-8, one component) for a device wherever it stands: CON, PRN,
// AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9 (the superscript digits one to three count as
// port numbers too), in any case, with or without an extension. What counts is the part before
// the first dot, trailing blanks dropped ("con .txt" is a device).
bool IsDeviceName(std::string_view name);

// Whether an entry may be created under `name` (UTF-8, one component): not empty, not a device
// name, none of < > : " / \ | ? *, no control character (U+0000-U+001F, U+007F), no trailing dot
// or blank, and no bidirectional formatting character (U+200E, U+200F, U+202A-U+202E,
// U+2066-U+2069), which would show a name other than the one stored.
bool IsPortableName(std::string_view name);

}  // namespace orvo::platform
