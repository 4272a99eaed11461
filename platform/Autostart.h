// Start at logon for the current user: a program registered under a name is started when the user
// logs on to the desktop. On Windows a string value under the user's Run key in the registry; on
// Linux an XDG autostart entry (platform/posix/XdgAutostart.h). Any thread (the caller serialises
// writes of one name); nothing raises: failures come back as false.
#pragma once

#include <string>
#include <vector>

namespace orvo::platform {

// The absolute path of the running executable; empty when the system does not tell.
std::string ExecutablePath();

// Registers `commandLine` (a program's path, then its arguments, each quoted as the system's rules
// need) to start at logon under `name`, replacing what was registered under that name before.
bool RegisterStartAtLogon(const std::string& name, const std::vector<std::string>& commandLine);

// Removes the registration of `name`; true when none is there afterwards (one that never existed
// is no failure).
bool UnregisterStartAtLogon(const std::string& name);

}  // namespace orvo::platform
