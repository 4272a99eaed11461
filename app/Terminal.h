// Whether standard error is a terminal, for the programs' progress bars: drawn there, never into
// a file or pipe.
#pragma once

#ifdef _WIN32
#include <io.h>

#include <cstdio>
#else
#include <unistd.h>
#endif

namespace orvo::app {

inline bool StderrIsTerminal() {
#ifdef _WIN32
  return ::_isatty(::_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) == 1;
#endif
}

}  // namespace orvo::app
