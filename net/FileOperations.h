// The file operations behind both the protocol's file commands and the browser portal, in one
// place: each confines its client paths to the login's trees (PathGuard), keeps the service's own
// folders, creates only names a Windows client can use, and says how it ended so that the portal
// can tell the student. Any thread; no raising, except what an upload's `receive` raises.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/FileCommands.h"
#include "net/Framing.h"
#include "platform/ExclusiveUse.h"
#include "platform/FindData.h"

namespace orvo::net {

enum class FileOutcome {
  Done,
  Refused,   // outside the login's trees, one of the service's own folders, or a bad name
  NotFound,  // nothing there, or not the kind of entry the operation needs
  Exists,    // the new name is taken
  NotEmpty,  // a folder that still holds entries
  InUse,     // another transfer has it
  NoSpace,   // beyond the free-space reserve or the quota, or the disk is full
  Failed,    // the file system said no
};

// The host path of the folder at `clientPath`; nullopt when it is refused or not a folder.
std::optional<std::string> ResolveFolder(const std::string& clientPath, const FileRoots& roots);

// The entries of the folder at `clientPath`; nullopt when it is refused or not a folder.
std::optional<std::vector<platform::FindData>> ListFolder(const std::string& clientPath,
                                                          const FileRoots& roots);

// The file at `clientPath` claimed for reading beside other readers and opened; nullopt when it
// is refused, not a readable plain file, or in use by a writer.
std::optional<platform::ExclusiveUse> ClaimDownload(const std::string& clientPath,
                                                    const FileRoots& roots);

// Writes an upload to a temporary file beside `clientPath` and puts it in place only when
// `receive` has fed every byte to the sink (Reserve first when the size is known); the old file
// stays otherwise. Raises what `receive` raises other than std::system_error.
FileOutcome ReceiveUpload(const std::string& clientPath, const FileRoots& roots,
                          const std::function<void(ByteSink&)>& receive);

// Creates the folder with every missing level above it (levels made before a failure stay).
FileOutcome MakeFolders(const std::string& clientPath, const FileRoots& roots);

// Deletes a file (not read-only) or an empty folder.
FileOutcome DeleteEntry(const std::string& clientPath, const FileRoots& roots);

// Moves or renames an entry; an existing target is replaced as MOVE replaces it unless
// `keepExisting`.
FileOutcome MoveEntryTo(const std::string& source, const std::string& target,
                        const FileRoots& roots, bool keepExisting);

}  // namespace orvo::net
