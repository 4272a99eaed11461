#include "platform/CommandLine.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdlib>

#include "platform/windows/WideText.h"

namespace orvo::platform {
namespace {

UINT previousOutputCodePage = 0;

void RestoreOutputCodePage() {
  if (previousOutputCodePage != 0) ::SetConsoleOutputCP(previousOutputCodePage);
}

}  // namespace

CommandLineArguments::CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide != nullptr) {
    for (int i = 0; i < count; ++i) texts_.push_back(Narrow(wide[i]));
    ::LocalFree(wide);
  } else {
    // Out of memory: the ANSI arguments are better than none.
    texts_.assign(argv, argv + argc);
  }
  for (std::string& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

void UseUtf8Output() {
  // Without a console (output redirected, or started detached) the bytes go out as they are.
  if (::GetConsoleWindow() == nullptr) return;
  const UINT previous = ::GetConsoleOutputCP();
  if (previous == CP_UTF8 || !::SetConsoleOutputCP(CP_UTF8)) return;
  // The console outlives the program: give it back the code page it had.
  previousOutputCodePage = previous;
  std::atexit(RestoreOutputCodePage);
}

}  // namespace orvo::platform
