// Where a program keeps orvoDisk.db when no --dir names a folder: its own folder, as on Windows,
// unless it is installed among the system's programs (below /usr), where no user may write; then
// the user's own data folder, $XDG_DATA_HOME/orvo or ~/.local/share/orvo.
#pragma once

#include <string>

namespace orvo::platform {

// `dataHome` and `home` are $XDG_DATA_HOME and $HOME (null or empty when unset).
std::string DefaultDatabaseFolder(const std::string& programFolder, bool programFolderHoldsDatabase,
                                  const char* dataHome, const char* home);

// The folder for this program and user, made when it is the user's data folder and missing (a
// folder that cannot be made is still returned: opening the database there then says why).
// Raises as ExecutableDir does.
std::string DefaultDatabaseFolder(const std::string& databaseName);

}  // namespace orvo::platform
