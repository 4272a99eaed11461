#include <windows.h>

#include <string>

#include "platform/CodePage.h"
#include "platform/windows/WideText.h"

namespace orvo::platform {

unsigned AnsiCodePage() {
  return GetACP();
}

std::string Utf8ToAnsi(std::string_view utf8) {
  const std::wstring wide = Wide(utf8);
  if (wide.empty()) return {};
  // Characters the code page lacks become '?'; best-fit mappings (an 'a' for an 'à') would
  // change what a name says.
  const UINT codePage = CP_ACP;
  const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), size, out.data(), needed, nullptr, nullptr);
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  if (ansi.empty()) return {};
  // Without MB_ERR_INVALID_CHARS an undefined byte sequence becomes U+FFFD (or the code page's
  // own default character), as the interface promises.
  const int size = static_cast<int>(ansi.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), needed);
  return Narrow(wide);
}

}  // namespace orvo::platform
