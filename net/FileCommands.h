// The six file commands (LIST, GET, PUT, MKDIR, DELETE, MOVE). Each runs on its connection's
// thread, reaches only the trees of the given roots (PathGuard) and uses the framing alone to
// talk. File-system failures and refusals are swallowed: LIST then answers an empty listing, GET
// sends nothing, the others do nothing. ConnectionError from the framing propagates.
// PUT, MKDIR and MOVE create only names a Windows client can use (platform/PortableName.h); an
// upload is refused when it would eat into the volume's free-space reserve or take the
// student's folder over the quota (core/Options.h).
#pragma once

#include <string>
#include <vector>

#include "net/Connection.h"
#include "net/UploadAllowance.h"

namespace orvo::net {

// The trees the file commands may reach, in the clients' form: the logged-in student's own
// folder (the tree a quota counts) and the public folder; and the limits an upload meets there.
struct FileRoots {
  std::string rootPath;
  std::string publicPath;
  UploadRules upload{};
};

void DoReqList(Connection& connection, const std::string& param, const FileRoots& roots);
void DoreqGet(Connection& connection, const std::string& param, const FileRoots& roots);
void DoreqPut(Connection& connection, const std::string& param, const FileRoots& roots);
void DoreqMKDir(Connection& connection, const std::string& param, const FileRoots& roots);
void DoreqDelete(Connection& connection, const std::string& param, const FileRoots& roots);
void DoReqMove(Connection& connection, const std::string& param, const FileRoots& roots);

// Removes the temporary files that uploads of a killed service left anywhere in `folders` (in the
// clients' form, such as RootPath and PublicPath), and nothing else. For the service's start,
// before any connection is taken.
void RemoveStaleUploads(const std::vector<std::string>& folders);

}  // namespace orvo::net
