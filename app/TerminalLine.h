// One status line on a terminal's standard error, redrawn in place with '\r' and padded with
// spaces over what a longer line before left (no terminal escapes: not every console takes them),
// never wider than a classic console so that it cannot wrap. The tools' progress displays draw
// through it. Main thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace orvo::app {

// Columns a UTF-8 text takes on a terminal: characters of three bytes and more (Chinese among
// them) are taken as two columns wide, the rest as one.
std::size_t Columns(const std::string& text);
// `text` when it fits in `columns`; else "..." and as much of its end as fits with it.
std::string TailThatFits(const std::string& text, std::size_t columns);

class TerminalLine {
 public:
  static constexpr std::size_t kColumns = 79;

  TerminalLine() = default;
  ~TerminalLine() { Clear(); }
  TerminalLine(const TerminalLine&) = delete;
  TerminalLine& operator=(const TerminalLine&) = delete;

  // Draws `head` followed by as much of the end of `tail` as fits; at most ten times a second
  // unless `force`.
  void Show(const std::string& head, const std::string& tail, bool force = false);
  // Takes the line off, so that what follows starts at its beginning.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;
  bool drawn_ = false;
  Clock::time_point lastDraw_;
};

}  // namespace orvo::app
