#include "core/Autostart.h"

#include <stdexcept>

#include "platform/Autostart.h"

namespace orvo::core {

void SetAutoStart(bool aRegister, const std::string& aName,
                  const std::vector<std::string>& arguments) {
  bool done = false;
  if (aRegister) {
    const std::string executable = platform::ExecutablePath();
    std::vector<std::string> commandLine{executable};
    commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
    done = !executable.empty() && platform::RegisterStartAtLogon(aName, commandLine);
  } else {
    done = platform::UnregisterStartAtLogon(aName);
  }
  if (!done) throw std::runtime_error("Failed to set data for '" + aName + "'");
}

}  // namespace orvo::core
