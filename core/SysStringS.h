// TSysStringS: the system log, a thread-safe list of the most recent command lines, oldest first.
// Lines are stored with control characters escaped, so no received text shows as two lines.
// Any thread may call any operation; each holds the log's own lock for that operation only.
// Delete and Strings raise std::out_of_range for an index outside 0..Count()-1.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

namespace orvo::core {

class TSysStringS {
 public:
  // Overflow policy: past this many lines the oldest line is dropped, one per Add.
  static constexpr std::size_t kMaxLines = 1000;

  void Add(const std::string& value);
  void Delete(std::size_t index);
  void Clear();
  std::size_t Count() const;
  std::string Strings(std::size_t index) const;
  // All lines, each followed by CR LF; empty when there are none.
  std::string Text() const;
  // Appends the lines as a text list (ANSI code page, CR LF after each) to `stream`.
  void Savetostream(std::string& stream) const;

 private:
  mutable std::recursive_mutex FLock;
  std::deque<std::string> FItems;  // guarded by FLock
};

// `text` (UTF-8) with control characters as \n, \r, \t or \xHH, and line separators, C1 controls
// and bidirectional marks as \uXXXX: what the log shows of a line, always one line as received.
std::string EscapeControls(const std::string& text);

}  // namespace orvo::core
