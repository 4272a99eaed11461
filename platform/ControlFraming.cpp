#include "platform/ControlFraming.h"

namespace orvo::platform {

std::string EncodeControlReply(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    if (!line.empty() && line[0] == '.') out += '.';
    for (const char c : line) out += c == '\n' || c == '\r' ? ' ' : c;
    out += '\n';
  }
  out += ".\n";
  return out;
}

std::optional<std::string> ControlRequestLine(std::string_view received) {
  const std::size_t end = received.find('\n');
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view line = received.substr(0, end);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return std::string(line);
}

bool ControlReplyReader::Feed(std::string_view bytes) {
  if (complete_) return true;
  pending_.append(bytes);
  std::size_t start = 0;
  for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string_view line(pending_.data() + start, end - start);
    if (line == ".") {
      complete_ = true;
      break;
    }
    lines_.emplace_back(line.substr(!line.empty() && line[0] == '.' ? 1 : 0));
  }
  pending_.erase(0, start);
  return complete_;
}

}  // namespace orvo::platform
