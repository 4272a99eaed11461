#include "platform/FindFiles.h"

namespace orvo::platform {
std::vector<FindData> FindMatching(const std::string&, std::string_view) { return {}; }
std::optional<FindData> DescribeEntry(const std::string&) { return std::nullopt; }
}  // namespace orvo::platform
