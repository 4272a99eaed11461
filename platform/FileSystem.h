// The single-step file-system operations behind the file commands, with the Windows rules the
// clients expect: a read-only file is not deleted, and nothing in use (ExclusiveUse) is deleted.
// Paths are resolved absolute paths of the host (ResolvePath.h). Any thread; only
// CreateNewEmptyFile and ExecutableDir raise.
#pragma once

#include <string>

namespace orvo::platform {

// Whether something exists at `path`, a link there counting as itself.
bool Exists(const std::string& path);
// Whether `path` leads to a folder, or to a plain file (links followed).
bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);

// Deletes the file (or link) at `path`; false for a folder, a read-only file (on Linux: without
// the owner's write bit), a file in use, or when the deletion fails.
bool RemoveFile(const std::string& path);
// Removes the folder at `path` when it is empty and nothing inside is in use.
bool RemoveEmptyFolder(const std::string& path);
// Creates one folder; its parent must exist.
bool MakeFolder(const std::string& path);
// Creates the folder at `path` together with every missing folder above it; true when the folder
// exists afterwards. Either separator may be used on Windows.
bool CreateFolderPath(const std::string& path);

// Creates an empty file at `path`, failing when anything is there already (so an existing file,
// perhaps one in use, is never overwritten). Raises std::system_error naming the path.
void CreateNewEmptyFile(const std::string& path);

// The folder of the running executable, with a trailing separator. Raises std::system_error.
std::string ExecutableDir();

}  // namespace orvo::platform
