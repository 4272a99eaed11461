// The autostart routine: registers or unregisters the running program to start at logon under a
// value name (the console uses "orvoDiskServer"). Window thread. Raises std::runtime_error
// "Failed to set data for '<name>'" when the entry cannot be written or removed.
#pragma once

#include <string>
#include <vector>

namespace orvo::core {

// Register: the entry named `aName` starts this executable (its absolute path) with `arguments` at
// logon, replacing an older one. Unregister: the entry is removed; one that is not there is no
// error.
void SetAutoStart(bool aRegister, const std::string& aName,
                  const std::vector<std::string>& arguments = {});

}  // namespace orvo::core
