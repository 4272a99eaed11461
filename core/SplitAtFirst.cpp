#include "core/SplitAtFirst.h"

namespace orvo::core {

HeadTail SplitAtFirst(std::string_view text, char sep) {
  const size_t pos = text.find(sep);
  if (pos == std::string_view::npos) return {std::string(text), {}};
  return {std::string(text.substr(0, pos)), std::string(text.substr(pos + 1))};
}

}  // namespace orvo::core
