// Find-first/find-next as the file commands need it: the entries of one folder that a pattern
// takes, or the one entry a path names. Any thread; nothing here raises.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FindData.h"

namespace orvo::platform {

// The entries of `folder` that `pattern` takes (FindPattern.h), hidden ones included and "." and
// ".." left out, in the order the file system yields them. Empty when the folder cannot be read,
// and without reading it when the pattern is longer than any name can be.
std::vector<FindData> FindMatching(const std::string& folder, std::string_view pattern);

// The record of the entry at `path` itself, a link not followed; nullopt when there is none.
std::optional<FindData> DescribeEntry(const std::string& path);

}  // namespace orvo::platform
