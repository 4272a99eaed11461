#include "platform/ExclusiveUse.h"

namespace orvo::platform {
std::optional<ExclusiveUse> ExclusiveUse::Claim(const std::string&) { return std::nullopt; }
}  // namespace orvo::platform
