// Moving or renaming a file or folder for MOVE, so that the target is replaced only by a move
// that succeeds. Any thread; does not raise.
#pragma once

#include <string>

namespace orvo::platform {

// Moves the entry at `source` (a link there moves as itself) to `target`, both resolved absolute
// paths. An existing target is replaced: a file unless it lacks the owner's write bit, a folder
// only while empty. A file may cross file systems (copied, then the source deleted); a folder
// stays on its own. Nothing in use (ExclusiveUse) is touched. On false both paths hold what
// they held before.
bool MoveEntry(const std::string& source, const std::string& target);

// Gives the entry at `source` the name `target` on the same file system, in one step that fails
// when anything exists at `target` (nothing there is ever replaced). On false `reason` holds the
// system's text; `existed` says whether the failure was an entry at `target`.
bool RenameToNewName(const std::string& source, const std::string& target, std::string& reason,
                     bool& existed);

}  // namespace orvo::platform
