#include "core/Autostart.h"

#include <stdexcept>

#include "platform/Autostart.h"

namespace orvo::core {

void SetAutoStart(bool aRegister, const std::string& aName) {
  const std::string folder = platform::AutostartFolder();
  bool done = false;
  if (aRegister) {
    const std::string executable = platform::ExecutablePath();
    done = !executable.empty() && platform::WriteAutostartEntry(folder, aName, executable);
  } else {
    done = platform::RemoveAutostartEntry(folder, aName);
  }
  if (!done) throw std::runtime_error("Failed to set data for '" + aName + "'");
}

}  // namespace orvo::core
