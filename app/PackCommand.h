// `orvo-admin pack FOLDER`: the console's folder packing from the command line, with a one-line
// progress bar on a terminal and the archive's path on standard output at the end. Needs no
// database. Main thread; returns the exit status after printing every message itself.
#pragma once

#include <string>

namespace orvo::app {

int PackCommand(const std::string& folder);

}  // namespace orvo::app
