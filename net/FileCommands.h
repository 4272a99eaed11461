// The six file commands (LIST, GET, PUT, MKDIR, DELETE, MOVE). Each runs on its connection's
// thread, reaches only the trees of the given roots (PathGuard) and uses the framing alone to
// talk. File-system failures and refusals are swallowed: LIST then answers an empty listing, GET
// sends nothing, the others do nothing. ConnectionError from the framing propagates.
#pragma once

#include <string>

#include "net/Connection.h"

namespace orvo::net {

// The trees the file commands may reach: RootPath and PublicPath as the settings hold them now.
struct FileRoots {
  std::string rootPath;
  std::string publicPath;
};

void DoReqList(Connection& connection, const std::string& param, const FileRoots& roots);
void DoreqGet(Connection& connection, const std::string& param, const FileRoots& roots);
void DoreqPut(Connection& connection, const std::string& param, const FileRoots& roots);
void DoreqMKDir(Connection& connection, const std::string& param, const FileRoots& roots);
void DoreqDelete(Connection& connection, const std::string& param, const FileRoots& roots);
void DoReqMove(Connection& connection, const std::string& param, const FileRoots& roots);

}  // namespace orvo::net
