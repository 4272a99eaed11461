// What the system log keeps of a command line: the line as received, except that the password of a
// LOGIN or CHGPSW line (everything after its class and login id, whatever separates them) becomes
// "******". Control characters are escaped by the log itself when it stores the line.
#pragma once

#include <string>

namespace orvo::net {

inline constexpr char kMaskedPassword[] = "******";

std::string MaskForLog(const std::string& commandLine);

}  // namespace orvo::net
