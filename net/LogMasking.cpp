#include "net/LogMasking.h"

#include <string_view>

namespace orvo::net {
namespace {

// A blank, a tab or any other control character ends a field here, so no separator a client
// might use lets its password through unmasked.
bool IsSeparator(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte <= 0x20 || byte == 0x7F;
}

// The end of the field that starts at `from`.
std::size_t FieldEnd(std::string_view line, std::size_t from) {
  while (from < line.size() && !IsSeparator(line[from])) ++from;
  return from;
}

}  // namespace

std::string MaskForLog(const std::string& commandLine) {
  const std::string_view line = commandLine;
  const std::size_t wordEnd = FieldEnd(line, 0);
  const std::string_view word = line.substr(0, wordEnd);
  if (word != "LOGIN" && word != "CHGPSW") return commandLine;
  // The word, the class and the login id stay, each with the one separator after it.
  std::size_t end = wordEnd;
  for (int field = 0; field < 2 && end < line.size(); ++field) end = FieldEnd(line, end + 1);
  if (end >= line.size()) return commandLine;  // no password field at all
  return std::string(line.substr(0, end)) + ' ' + kMaskedPassword;
}

}  // namespace orvo::net
