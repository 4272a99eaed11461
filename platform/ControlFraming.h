// The bytes of the control channel, the same on every host. A request is one line ended by LF. A
// reply is its lines, each ended by LF, then a line holding only "."; a reply line that starts
// with "." gets another one in front, so that no line of it reads as the end.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::platform {

// The longest request line the service reads; a longer one ends the connection.
inline constexpr std::size_t kMaxControlRequest = 4096;

// `lines` framed as a reply. A line break inside a line becomes a blank, so that no line can
// appear as two.
std::string EncodeControlReply(const std::vector<std::string>& lines);

// The request line at the start of `received` (without its line end) once its LF has arrived.
std::optional<std::string> ControlRequestLine(std::string_view received);

// Collects a reply's bytes as they arrive.
class ControlReplyReader {
 public:
  // Takes the next bytes; true once the end marker has arrived (anything after it is ignored).
  bool Feed(std::string_view bytes);
  bool Complete() const { return complete_; }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::string pending_;
  std::vector<std::string> lines_;
  bool complete_ = false;
};

}  // namespace orvo::platform
