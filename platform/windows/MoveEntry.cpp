#include "platform/MoveEntry.h"

namespace orvo::platform {
bool MoveEntry(const std::string&, const std::string&) { return false; }
}  // namespace orvo::platform
