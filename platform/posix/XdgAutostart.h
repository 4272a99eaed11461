// The Linux side of start at logon: an autostart entry "<name>.desktop" in the user's autostart
// folder (freedesktop.org's rules) whose command is a program's absolute path and its arguments.
// Any thread (the caller serialises writes of one name); nothing raises: failures come back as
// false.
#pragma once

#include <string>
#include <vector>

namespace orvo::platform {

// $XDG_CONFIG_HOME/autostart, or $HOME/.config/autostart when XDG_CONFIG_HOME is unset or not
// absolute (read at every call, so tests can point it at a temporary folder). Empty when neither
// variable gives an absolute folder.
std::string AutostartFolder();

// The text of the entry that starts `commandLine` (a program path, then its arguments) at logon.
std::string AutostartEntryText(const std::string& name,
                               const std::vector<std::string>& commandLine);

// Writes (or replaces) the entry for `name` in `folder`, creating the folder when missing. The new
// entry replaces an old one by a rename, so a failed write leaves the old one whole.
bool WriteAutostartEntry(const std::string& folder, const std::string& name,
                         const std::vector<std::string>& commandLine);

// Removes the entry for `name` from `folder`; true when none is there afterwards (an entry that
// never existed is no failure).
bool RemoveAutostartEntry(const std::string& folder, const std::string& name);

}  // namespace orvo::platform
