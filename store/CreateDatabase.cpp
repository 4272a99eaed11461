#include "store/CreateDatabase.h"

#include <sqlite3.h>

#include <system_error>

#include "platform/FileSystem.h"
#include "store/SimpleDbUnit.h"

namespace orvo::store {

void CreateDatabaseFile(const std::string& path, const std::string& schemaSql) {
  // An existing database (perhaps the one the service is using) is never overwritten.
  try {
    platform::CreateNewEmptyFile(path);
  } catch (const std::system_error& error) {
    throw DbError(error.what());
  }

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
    platform::RemoveFile(path);
    throw DbError(failure);
  }
}

}  // namespace orvo::store
