#include "platform/ResolvePath.h"

namespace orvo::platform {
std::optional<std::string> ResolvePath(std::string_view, LastLink) { return std::nullopt; }
}  // namespace orvo::platform
