#include "platform/ReplacementFile.h"

namespace orvo::platform {
std::optional<ReplacementFile> ReplacementFile::Open(const std::string&) { return std::nullopt; }
}  // namespace orvo::platform
