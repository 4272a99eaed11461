// Cuts a text at the first occurrence of one separator into head and tail; without the separator
// the head is the whole text and the tail is empty.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace orvo::core {

struct HeadTail {
  std::string head;
  std::string tail;
};

HeadTail SplitAtFirst(std::string_view text, char sep);

}  // namespace orvo::core
