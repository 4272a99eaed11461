#include "platform/windows/FindRecord.h"

#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

uint64_t Join(DWORD high, DWORD low) {
  return uint64_t{high} << 32 | low;
}

uint64_t TimeOf(const FILETIME& time) {
  return Join(time.dwHighDateTime, time.dwLowDateTime);
}

}  // namespace

FindData FromWindows(const WIN32_FIND_DATAW& found) {
  FindData data;
  data.attributes = found.dwFileAttributes;
  data.creationTime = TimeOf(found.ftCreationTime);
  data.lastAccessTime = TimeOf(found.ftLastAccessTime);
  data.lastWriteTime = TimeOf(found.ftLastWriteTime);
  data.size = Join(found.nFileSizeHigh, found.nFileSizeLow);
  // dwReserved0 means something only for a reparse point.
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    data.reparseTag = found.dwReserved0;
  data.name = Narrow(found.cFileName);
  data.alternateName = Narrow(found.cAlternateFileName);
  return data;
}

bool IsDotEntry(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == L'\0') ||
         (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

}  // namespace orvo::platform
