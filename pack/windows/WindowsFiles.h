// What the Windows sources of the packer share: wide paths that may pass MAX_PATH, the system's
// error texts and the names of the packer's own temporary files. Any thread; raises nothing.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace orvo::pack::host {

// `path` for a W call. Paths of MAX_PATH characters or more get the "\\?\" prefix, which lifts
// the limit; it also turns off the system's own path clean-up, so only paths that are already
// absolute and use backslashes alone get it (resolved paths are; anything else stays as it is).
std::wstring LongPath(const std::string& path);

// The system's text for a Windows error code, in UTF-8, without the full stop and line end that
// FormatMessage adds; "error N" when the system has none.
std::string WindowsErrorText(DWORD code);

// Temporary files of a packing lie beside the archive. A tree that holds the archive's folder (a
// drive's root) lists them too; the walk leaves out every file whose name starts with this.
inline constexpr std::wstring_view kTemporaryPrefix = L".orvo-pack-";

}  // namespace orvo::pack::host
