#include "platform/DefaultFolder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/FileSystem.h"
#include "platform/Utf8Path.h"

namespace orvo::platform {

std::string DefaultDatabaseFolder(const std::string& programFolder, bool programFolderHoldsDatabase,
                                  const char* dataHome, const char* home) {
  if (programFolderHoldsDatabase || !programFolder.starts_with("/usr/")) return programFolder;
  // The XDG rule: a relative $XDG_DATA_HOME is ignored.
  if (dataHome != nullptr && dataHome[0] == '/') return std::string(dataHome) + "/orvo";
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.local/share/orvo";
  return programFolder;
}

std::string DefaultDatabaseFolder(const std::string& databaseName) {
  const std::string program = ExecutableDir();
  std::error_code error;
  const bool holdsDatabase =
      std::filesystem::exists(Utf8Path(program) / Utf8Path(databaseName), error);
  const std::string folder = DefaultDatabaseFolder(
      program, holdsDatabase, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  if (folder != program) std::filesystem::create_directories(Utf8Path(folder), error);
  return folder;
}

}  // namespace orvo::platform
