// The plain files of a whole folder tree, for upkeep that must see all of it: how much a student's
// folder holds, the temporaries a killed service left. Any thread; does not raise.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orvo::platform {

// One file as the walk meets it; the texts stay valid for the call to the visitor only.
struct TreeFile {
  std::string_view path;  // the host's path of the file
  std::string_view name;  // its last component
  uint64_t bytes;
};

// Calls `visit` for every plain file at any depth below `folder` (a resolved path). Links are
// taken as themselves and never followed, so nothing outside the tree is reached or counted;
// folders that cannot be read are skipped. Iterative: the depth of a tree costs no stack.
void ForEachFileBelow(const std::string& folder, const std::function<void(const TreeFile&)>& visit);

}  // namespace orvo::platform
