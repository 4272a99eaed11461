// The Chinese (PRC) sort of Windows, pinyin by default, through CompareStringEx; it keeps no
// state, so any thread may call it.
#include <windows.h>

#include "platform/Collation.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {

int CompareNames(std::string_view a, std::string_view b) {
  const std::wstring wideA = Wide(a);
  const std::wstring wideB = Wide(b);
  const int result =
      CompareStringEx(L"zh-CN", 0, wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                      static_cast<int>(wideB.size()), nullptr, nullptr, 0);
  // CSTR_LESS_THAN, CSTR_EQUAL and CSTR_GREATER are 1, 2 and 3; 0 is a failure.
  if (result == CSTR_LESS_THAN) return -1;
  if (result == CSTR_GREATER_THAN) return 1;
  const int bytes = a.compare(b);
  return (bytes > 0) - (bytes < 0);
}

}  // namespace orvo::platform
