// A second Windows process for the end-to-end tests: holds one file open without sharing, as
// another program on a teacher's PC would, until a second file appears.
//   orvo-hold-open <path> <release-path>
// prints "held" once the file is open ("cannot open" otherwise), waits until <release-path>
// exists, closes the file and prints "released".
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

void Say(const char* line) {
  // WriteFile, so the line ends in LF alone whatever the C runtime's text mode would make of it.
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(std::strlen(line)), &written,
            nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputs("usage: orvo-hold-open <path> <release-path>\n", stderr);
    return 2;
  }
  const HANDLE file =
      CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Say("cannot open\n");
    return 1;
  }
  Say("held\n");
  // A bounded wait: a test that never releases does not leave the file held for ever.
  for (int waited = 0; waited < 600 && GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES;
       ++waited) {
    Sleep(100);
  }
  CloseHandle(file);
  Say("released\n");
  return 0;
}
