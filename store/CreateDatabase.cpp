#include "store/CreateDatabase.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "store/SimpleDbUnit.h"

namespace orvo::store {

void CreateDatabaseFile(const std::string& path, const std::string& schemaSql) {
  // O_EXCL: an existing database (perhaps the one the service is using) is never overwritten.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    throw DbError("cannot create " + path + ": " + std::generic_category().message(errno));
  }
  ::close(fd);

  sqlite3* connection = nullptr;
  std::string failure;
  if (sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    failure = connection ? sqlite3_errmsg(connection) : "out of memory";
  } else if (sqlite3_exec(connection, "begin", nullptr, nullptr, nullptr) != SQLITE_OK ||
             sqlite3_exec(connection, schemaSql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
             sqlite3_exec(connection, "commit", nullptr, nullptr, nullptr) != SQLITE_OK) {
    failure = sqlite3_errmsg(connection);
  }
  sqlite3_close_v2(connection);
  if (!failure.empty()) {
    ::unlink(path.c_str());
    throw DbError(failure);
  }
}

}  // namespace orvo::store
