// A find-data record derived from the Linux file system, for hosts without Windows attributes,
// file times or short names. Any thread.
#pragma once

#include <optional>
#include <string>

#include "platform/FindData.h"

namespace orvo::platform {

// The entry `name` in the folder open as `folderFd` (AT_FDCWD with a whole path also works),
// described without following a link there. Attributes: folder 0x10; plain file 0x20; symbolic
// link 0x400 with kSymlinkReparseTag, plus 0x10 when it leads to a folder (as a Windows folder
// link does), size 0; 0x01 when the owner has no write bit; 0x02 for names starting with '.';
// 0x80 when nothing else is set. The creation time is the birth time where the file system keeps
// one, else the last write. nullopt when the entry cannot be examined (it vanished, for one).
std::optional<FindData> DescribeAt(int folderFd, const char* entry, std::string name);

}  // namespace orvo::platform
