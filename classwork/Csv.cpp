#include "classwork/Csv.h"

namespace orvo::classwork {

std::string CsvText(std::string_view text) {
  std::string field;
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
    field += '\'';
  }
  field.append(text);
  const bool quote = field.find_first_of(",\"\r\n") != std::string::npos ||
                     (!field.empty() && (field.front() == ' ' || field.back() == ' '));
  if (!quote) return field;
  std::string quoted = "\"";
  for (const char c : field) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + '"';
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) line += ',';
    line += fields[i];
  }
  return line + "\r\n";
}

}  // namespace orvo::classwork
