// The packaged service's systemd unit lets it write only to its database folder. The student and
// resource folders, which the operator chooses, reach the unit through a drop-in file beside it,
// which orvo-admin writes when it sets the folders of the service's database folder.
#pragma once

#include <string>
#include <vector>

namespace orvo::service {

// Where the packaged service keeps orvoDisk.db (its unit's --dir and ReadWritePaths).
inline constexpr char kServiceDatabaseFolder[] = "/var/lib/orvo";
// The drop-in that the unit's start condition waits for.
inline constexpr char kServiceFoldersFile[] =
    "/etc/systemd/system/orvo-serverd.service.d/folders.conf";
// Each folder's line in the drop-in's comments, for the package's purge to name what it keeps.
inline constexpr char kFolderCommentPrefix[] = "# folder: ";

// Whether `folder` is the packaged service's database folder (the same folder, however named).
bool IsServiceDatabaseFolder(const std::string& folder,
                             const std::string& serviceFolder = kServiceDatabaseFolder);

// The drop-in's text that lets the service write to these folders (absolute; empty ones are
// skipped). A folder that may vanish (an unmounted disk) does not keep the service from starting.
// Raises std::invalid_argument for a folder the unit file cannot name (a control character, a
// quote or a backslash in its path).
std::string UnitFoldersText(const std::vector<std::string>& folders);

// Writes `text` to `file` unless it holds it already, making the file's folder when missing;
// whether the file changed. Raises std::system_error.
bool WriteUnitFolders(const std::string& file, const std::string& text);

}  // namespace orvo::service
