// The one `--version` answer of the command-line programs: "NAME VERSION", status 0.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <string_view>

#include "core/Version.h"

namespace orvo::app {

inline void AddVersionFlag(CLI::App& app, std::string_view program) {
  app.set_version_flag("--version", std::string(program) + " " + kVersion,
                       "print the program's version and exit");
}

}  // namespace orvo::app
