#include "app/TerminalLine.h"

#include <cstdio>

namespace orvo::app {
namespace {

std::size_t Columns(char lead) {
  return static_cast<unsigned char>(lead) >= 0xE0 ? 2 : 1;
}

bool IsContinuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::size_t Columns(const std::string& text) {
  std::size_t columns = 0;
  for (const char byte : text) {
    if (!IsContinuation(byte)) columns += Columns(byte);
  }
  return columns;
}

std::string TailThatFits(const std::string& text, std::size_t columns) {
  if (Columns(text) <= columns) return text;
  std::size_t used = 3;
  std::size_t start = text.size();
  while (start > 0) {
    std::size_t lead = start - 1;
    while (lead > 0 && IsContinuation(text[lead])) --lead;
    if (used + Columns(text[lead]) > columns) break;
    used += Columns(text[lead]);
    start = lead;
  }
  return "..." + text.substr(start);
}

void TerminalLine::Show(const std::string& head, const std::string& tail, bool force) {
  const auto now = Clock::now();
  if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  std::string line = head;
  const std::size_t used = Columns(head);
  if (used < kColumns) line += TailThatFits(tail, kColumns - used);
  const std::size_t columns = Columns(line);
  if (columns < kColumns) line.append(kColumns - columns, ' ');
  std::fprintf(stderr, "\r%s", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void TerminalLine::Clear() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r%s\r", std::string(kColumns, ' ').c_str());
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace orvo::app
