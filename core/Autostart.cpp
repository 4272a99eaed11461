#include "core/Autostart.h"

#include <stdexcept>

#include "platform/Autostart.h"

namespace orvo::core {

void SetAutoStart(bool aRegister, const std::string& aName) {
  bool done = false;
  if (aRegister) {
    const std::string executable = platform::ExecutablePath();
    done = !executable.empty() && platform::RegisterStartAtLogon(aName, executable);
  } else {
    done = platform::UnregisterStartAtLogon(aName);
  }
  if (!done) throw std::runtime_error("Failed to set data for '" + aName + "'");
}

}  // namespace orvo::core
