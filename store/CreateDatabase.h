// Making a new, empty database file for installation (orvo-admin init, tests). The service itself
// never creates its file. Raises DbError; any thread.
#pragma once

#include <string>
#include <string_view>

namespace orvo::store {

// The statements of store/schema.sql, built into the program.
std::string_view SchemaSql();

// Creates the file at `path` and runs `schemaSql` in it as one transaction. Refuses an existing
// file (it is left untouched); on any failure no file is left behind.
void CreateDatabaseFile(const std::string& path, const std::string& schemaSql);

}  // namespace orvo::store
