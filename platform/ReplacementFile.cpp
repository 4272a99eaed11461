#include "platform/ReplacementFile.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/TreeFiles.h"

namespace orvo::platform {

void RemoveLeftoverUploads(const std::string& folder) {
  std::vector<std::string> leftovers;
  ForEachFileBelow(folder, [&](const TreeFile& file) {
    if (IsNameBeside(file.name, kUploadPrefix)) leftovers.emplace_back(file.path);
  });
  for (const std::string& path : leftovers) RemoveFile(path);
}

}  // namespace orvo::platform
