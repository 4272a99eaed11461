// Winsock start-up and the system's error texts for the Windows socket sources. Any thread.
#pragma once

// Winsock 2 must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>
// After the Winsock headers.
#include <windows.h>

#include <cwctype>
#include <string>
#include <system_error>

#include "platform/windows/WideText.h"

namespace orvo::platform {

// The system's own text for a Windows or Winsock error code, in UTF-8, without the full stop and
// line end FormatMessage adds; "error N" when the system has no text for it.
inline std::string WindowsErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : L"";
  ::LocalFree(buffer);
  while (!text.empty() &&
         (std::iswspace(text.back()) || text.back() == L'.' || text.back() == L'\x3002')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(code) : Narrow(text);
}

// Error codes of the Windows API and Winsock, with their texts from WindowsErrorText.
class WindowsErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "windows"; }
  std::string message(int code) const override {
    return WindowsErrorText(static_cast<unsigned long>(code));
  }
};

inline const std::error_category& WindowsCategory() {
  static const WindowsErrorCategory category;
  return category;
}

// Winsock needs WSAStartup before the first socket call of the process; this runs it once, from
// whichever thread comes first. It stays started until the process ends.
inline void EnsureWinsock() {
  static const int started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) throw std::system_error(started, WindowsCategory(), "cannot start Winsock");
}

// A socket that child processes do not inherit (the Windows side of SOCK_CLOEXEC).
inline SOCKET NewSocket(int family, int type, int protocol) {
  EnsureWinsock();
  SOCKET s = ::WSASocketW(family, type, protocol, nullptr, 0,
                          WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
    // Windows 7 before its first service pack does not know the flag.
    s = ::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s != INVALID_SOCKET) {
      ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    }
  }
  return s;
}

}  // namespace orvo::platform
