// Client paths as the file system sees them, and the path syntax the file commands need on top of
// that. Clients name files with Windows separators; on Linux every backslash is a folder
// separator, on Windows both '\' and '/' are, and resolved paths use '\'. Any thread; does not
// raise.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvo::platform {

// Whether a link in the last component is followed (as opening a file does) or taken as itself
// (as deleting or moving an entry does).
enum class LastLink { Follow, Keep };

// The absolute path `path` names, with "." and ".." taken away by the text alone (as a Windows
// host does) and the links of the part that exists followed, so the result holds no link there
// (a dangling one may stay as the last component). nullopt for a relative or empty path, a NUL
// character, or a path that cannot be followed (a dangling link, a file or an unreadable folder
// before the last component).
//
// Linux: backslashes become '/'.
// Windows: a drive path ("C:\a") or a UNC path ("\\server\share\a"); the result uses
// backslashes, its existing part spelled as the file system keeps it, with short 8.3 names,
// symbolic links and junctions expanded. Refused as well: device-namespace paths ("\\?\",
// "\\.\"), a ':' anywhere but after the drive letter (alternate data streams), reserved device
// names (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension) as a component, and
// names that Windows would read differently from their text (trailing dots or blanks).
std::optional<std::string> ResolvePath(std::string_view path, LastLink last);

// Whether the resolved `path` is `tree` or lies below it. Case-insensitive on Windows, where
// "C:\Root" holds "c:\root\x"; "C:\Root2" is never below "C:\Root".
bool IsAtOrBelow(std::string_view path, std::string_view tree);

// The folder holding the resolved `path`; a file-system root ("/", "C:\", "\\server\share") is
// its own parent.
std::string ParentFolder(std::string_view path);

// A find pattern cut at its last separator: the folder part as a path of its own (a root keeps
// its separator: "C:\*" gives "C:\", "/*" gives "/") and the last component.
struct PatternParts {
  std::string folder;
  std::string last;
};
// nullopt when the pattern holds no separator.
std::optional<PatternParts> SplitPattern(std::string_view pattern);

}  // namespace orvo::platform
