// A Windows find result as the system's find-data record, for every caller of FindFirstFileExW
// (listings and folder packing). Pure functions.
#pragma once

#include <windows.h>

#include "platform/FindData.h"

namespace orvo::platform {

// The fields as Windows gives them: attribute bits, the three times, the size, the reparse tag
// (only for a reparse point) and both names (the short one empty when it was not asked for).
FindData FromWindows(const WIN32_FIND_DATAW& found);

// Whether the name is "." or "..", which a find over "*" yields first.
bool IsDotEntry(const wchar_t* name);

}  // namespace orvo::platform
