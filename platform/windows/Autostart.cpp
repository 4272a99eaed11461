#include <stdexcept>

#include "platform/Autostart.h"

namespace orvo::platform {
std::string AutostartFolder() { return {}; }
std::string ExecutablePath() { return {}; }
std::string AutostartEntryText(const std::string&, const std::string&) { return {}; }
bool WriteAutostartEntry(const std::string&, const std::string&, const std::string&) { return false; }
bool RemoveAutostartEntry(const std::string&, const std::string&) { return false; }
}  // namespace orvo::platform
