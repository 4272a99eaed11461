#include "net/PathGuard.h"

namespace orvo::net {

PathGuard::PathGuard(const std::vector<std::string>& roots) {
  for (const std::string& root : roots) {
    if (auto resolved = platform::ResolvePath(root, platform::LastLink::Follow)) {
      roots_.push_back(std::move(*resolved));
    }
  }
}

std::optional<std::string> PathGuard::Confine(std::string_view clientPath,
                                              platform::LastLink last) const {
  auto resolved = platform::ResolvePath(clientPath, last);
  if (!resolved || !Contains(*resolved)) return std::nullopt;
  return resolved;
}

bool PathGuard::Contains(std::string_view resolved) const {
  for (const std::string& root : roots_) {
    if (platform::IsAtOrBelow(resolved, root)) return true;
  }
  return false;
}

bool PathGuard::HoldsRoot(std::string_view resolved) const {
  for (const std::string& root : roots_) {
    if (platform::IsAtOrBelow(root, resolved)) return true;
  }
  return false;
}

}  // namespace orvo::net
