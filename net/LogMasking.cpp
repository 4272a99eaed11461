#include "net/LogMasking.h"

#include "core/SplitAtFirst.h"

namespace orvo::net {

std::string MaskForLog(const std::string& commandLine) {
  const core::HeadTail command = core::SplitAtFirst(commandLine, ' ');
  if (command.head != "LOGIN" && command.head != "CHGPSW") return commandLine;
  const core::HeadTail group = core::SplitAtFirst(command.tail, ' ');
  const std::size_t passwordBlank = group.tail.find(' ');
  if (passwordBlank == std::string::npos) return commandLine;  // no password field at all
  return command.head + ' ' + group.head + ' ' + group.tail.substr(0, passwordBlank) + ' ' + kMaskedPassword;
}

}  // namespace orvo::net
