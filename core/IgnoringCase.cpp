#include "core/IgnoringCase.h"

#include "platform/CaseFold.h"

namespace orvo::core {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return platform::FoldedUnits(a) == platform::FoldedUnits(b);
}

bool LessIgnoringCase(std::string_view a, std::string_view b) {
  return platform::FoldedUnits(a) < platform::FoldedUnits(b);
}

}  // namespace orvo::core
