// Confines the file commands to the trees they may reach (the root folder and the public
// folder): a client path is resolved (platform/ResolvePath.h) and refused when it lies outside
// every tree. Built per command from the roots as the settings hold them; any thread, no raising.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ResolvePath.h"

namespace orvo::net {

class PathGuard {
 public:
  // Roots in the clients' form; an empty or relative root opens no tree.
  explicit PathGuard(const std::vector<std::string>& roots);

  // The resolved path when it lies in a tree; nullopt when refused.
  std::optional<std::string> Confine(std::string_view clientPath, platform::LastLink last) const;

  // Whether a resolved path is one of the trees or inside one.
  bool Contains(std::string_view resolved) const;
  // Whether a resolved path is a root or holds one: the service's own folders are never deleted
  // or moved.
  bool HoldsRoot(std::string_view resolved) const;

 private:
  std::vector<std::string> roots_;
};

}  // namespace orvo::net
