// Client paths as the file system sees them. Clients name files with Windows separators; here
// every backslash is a folder separator. Any thread; does not raise.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvo::platform {

// Whether a symbolic link in the last component is followed (as opening a file does) or taken as
// itself (as deleting or moving an entry does).
enum class LastLink { Follow, Keep };

// The absolute path `path` names: backslashes become '/', "." and ".." are taken away by the
// text alone (as a Windows host does), then the links in the part that exists are followed, so
// the result holds no link there (a dangling one may stay as the last component). nullopt for a
// relative or empty path, a NUL character, or a path that cannot be followed (a dangling link,
// a file or an unreadable folder before the last component).
std::optional<std::string> ResolvePath(std::string_view path, LastLink last);

}  // namespace orvo::platform
