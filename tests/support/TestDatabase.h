// A fresh database file made from store/schema.sql, as the admin tool makes one for installation,
// and a second, independent connection to it (another process's view: the admin tool's).
#pragma once

#include <sqlite3.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/CreateDatabase.h"

namespace orvo::testing {

// The busy timeout of a connection under test that meets a file another connection holds: long
// enough for the engine's retries, short enough that no test sits out the programs' 5 s.
inline constexpr std::chrono::milliseconds kShortBusyTimeout{100};

// Creates the database file at `path` (which must not exist yet) from the schema built into the
// store library (store/schema.sql as the build was configured), and returns the path.
inline std::string CreateDatabaseFromSchema(const std::string& path) {
  store::CreateDatabaseFile(path, std::string(store::SchemaSql()));
  return path;
}

// A plain engine connection beside the one under test. Without a busy timeout, so that a lock the
// connection under test still holds shows at once as "database is locked".
class RawConnection {
 public:
  explicit RawConnection(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close_v2(db_);
      throw std::runtime_error(message);
    }
  }
  ~RawConnection() { sqlite3_close_v2(db_); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  // Runs one or more statements; raises std::runtime_error with the engine's message.
  void Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db_));
    }
  }

  // The first column of every row of a select, NULL as the empty text.
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> values;
    auto collect = [](void* out, int, char** row, char**) {
      static_cast<std::vector<std::string>*>(out)->emplace_back(row[0] ? row[0] : "");
      return 0;
    };
    if (sqlite3_exec(db_, sql.c_str(), collect, &values, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db_));
    }
    return values;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace orvo::testing
