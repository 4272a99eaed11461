#include "store/SimpleDbUnit.h"

#include <sqlite3.h>

#include <charconv>
#include <cstring>
#include <memory>

namespace orvo::store {
namespace {

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

[[noreturn]] void RaiseEngineError(sqlite3* connection) {
  throw DbError(sqlite3_errmsg(connection));
}

// Prepares the first statement of `text` from `*tail` on; `*tail` moves past it. An empty
// statement (only blanks or comments left) yields null.
Statement PrepareNext(sqlite3* connection, const char** tail) {
  sqlite3_stmt* raw = nullptr;
  const char* rest = *tail;
  if (sqlite3_prepare_v2(connection, rest, -1, &raw, &rest) != SQLITE_OK) {
    sqlite3_finalize(raw);
    RaiseEngineError(connection);
  }
  *tail = rest;
  return Statement(raw);
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = sqlite3_column_text(statement, column);
  if (text == nullptr) return {};  // NULL
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

// Column names as the engine matches them: ASCII letters without regard to case.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) joined += ',';
    joined += items[i];
  }
  return joined;
}

std::string Assignments(const std::vector<std::string>& FieldName,
                        const std::vector<std::string>& Value) {
  std::string joined;
  for (std::size_t i = 0; i < Value.size(); ++i) {
    if (i > 0) joined += ',';
    joined += (i < FieldName.size() ? FieldName[i] : std::string()) + '=' + Value[i];
  }
  return joined;
}

}  // namespace

int32_t TField::AsInteger() const {
  if (value_.empty()) return 0;
  int32_t result = 0;
  const char* end = value_.data() + value_.size();
  const auto [stop, error] = std::from_chars(value_.data(), end, result);
  if (error != std::errc() || stop != end) {
    throw DbError("'" + value_ + "' is not a valid integer value");
  }
  return result;
}

TQuery::~TQuery() = default;

std::string TQuery::Text() const {
  std::string text;
  for (std::size_t i = 0; i < sql_.size(); ++i) {
    if (i > 0) text += '\n';
    text += sql_[i];
  }
  return text;
}

void TQuery::SetSQL(const std::string& text) {
  Close();
  sql_.assign(1, text);
}

void TQuery::ClearSQL() {
  Close();
  sql_.clear();
}

void TQuery::AddSQL(const std::string& line) {
  Close();
  sql_.push_back(line);
}

void TQuery::Open() {
  if (open_) return;
  const std::string text = Text();
  const char* tail = text.c_str();
  const Statement statement = PrepareNext(connection_, &tail);
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
  if (statement) {
    const int count = sqlite3_column_count(statement.get());
    for (int c = 0; c < count; ++c) {
      const char* name = sqlite3_column_name(statement.get(), c);
      columns.emplace_back(name ? name : "");
    }
    for (;;) {
      const int rc = sqlite3_step(statement.get());
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) RaiseEngineError(connection_);
      auto& row = rows.emplace_back();
      row.reserve(static_cast<std::size_t>(count));
      for (int c = 0; c < count; ++c) row.push_back(ColumnText(statement.get(), c));
    }
  }
  columns_ = std::move(columns);
  rows_ = std::move(rows);
  row_ = 0;
  open_ = true;
  eof_ = rows_.empty();
}

int32_t TQuery::ExecSQL() {
  Close();
  const std::string text = Text();
  const char* tail = text.c_str();
  int64_t changed = 0;
  // Every statement of the text runs, so that a batch of collected lines is not cut to its first.
  while (*tail != '\0') {
    const char* start = tail;
    const Statement statement = PrepareNext(connection_, &tail);
    if (!statement) {
      if (tail == start) break;
      continue;
    }
    const int64_t before = sqlite3_total_changes64(connection_);
    const int rc = sqlite3_step(statement.get());
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) RaiseEngineError(connection_);
    // sqlite3_changes keeps the count of the last insert, update or delete; a statement of another
    // kind (a table creation) changed nothing.
    if (sqlite3_total_changes64(connection_) != before) changed += sqlite3_changes64(connection_);
  }
  return static_cast<int32_t>(changed);
}

void TQuery::Close() {
  columns_.clear();
  rows_.clear();
  row_ = 0;
  open_ = false;
  eof_ = true;
}

void TQuery::Next() {
  if (!open_) throw DbError("Cannot perform this operation on a closed dataset");
  if (eof_) return;
  ++row_;
  eof_ = row_ >= rows_.size();
}

TField TQuery::FieldByName(std::string_view name) const {
  if (!open_) throw DbError("Cannot perform this operation on a closed dataset");
  for (std::size_t c = 0; c < columns_.size(); ++c) {
    if (SameName(columns_[c], name)) return TField(eof_ ? std::string() : rows_[row_][c]);
  }
  throw DbError("Field '" + std::string(name) + "' not found");
}

TSimpleDb::TSimpleDb(const std::string& DbFileName, std::chrono::milliseconds busyTimeout)
    : FFileName(DbFileName) {
  sqlite3* connection = nullptr;
  // Read-write without SQLITE_OPEN_CREATE: a missing file is a failure, never a new empty one.
  const int rc = sqlite3_open_v2(FFileName.c_str(), &connection,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = connection ? sqlite3_errmsg(connection) : sqlite3_errstr(rc);
    sqlite3_close_v2(connection);
    throw DbError(message);
  }
  sqlite3_busy_timeout(connection, static_cast<int>(busyTimeout.count()));
  try {
    FQuery = std::make_unique<TQuery>(connection);
  } catch (...) {
    sqlite3_close_v2(connection);
    throw;
  }
  FConnection = connection;
}

TSimpleDb::~TSimpleDb() {
  FQuery.reset();
  sqlite3_close_v2(FConnection);
}

void TSimpleDb::RequireWritable() const {
  if (sqlite3_db_readonly(FConnection, "main") == 1) throw DbError(sqlite3_errstr(SQLITE_READONLY));
}

int32_t TSimpleDb::RunSelect(const std::string& statement, const std::string& countStatement) {
  FQuery->SetSQL(statement);
  FQuery->Open();
  // The count is a statement of its own; the cursor keeps standing on the first row.
  const char* tail = countStatement.c_str();
  Statement count;
  try {
    count = PrepareNext(FConnection, &tail);
  } catch (...) {
    FQuery->Close();
    throw;
  }
  if (!count || sqlite3_step(count.get()) != SQLITE_ROW) {
    const std::string message = sqlite3_errmsg(FConnection);
    FQuery->Close();
    throw DbError(message);
  }
  return static_cast<int32_t>(sqlite3_column_int64(count.get(), 0));
}

int32_t TSimpleDb::Select(const std::string& TableName) {
  return RunSelect("select * from " + TableName, "select count(*) from " + TableName);
}

int32_t TSimpleDb::Select(const std::string& TableName, const std::string& WhereCondition) {
  return RunSelect("select * from " + TableName + " where " + WhereCondition,
                   "select count(*) from " + TableName + " where " + WhereCondition);
}

int32_t TSimpleDb::Select(const std::string& TableName, const std::string& FieldName,
                          const std::string& Value) {
  return Select(TableName, FieldName + "=" + Value);
}

int32_t TSimpleDb::RunChange(const std::string& statement) {
  if (FBatchCommand) {
    FQuery->AddSQL(statement);
    return 0;
  }
  FQuery->SetSQL(statement);
  return FQuery->ExecSQL();
}

int32_t TSimpleDb::Insert(const std::string& TableName, const std::vector<std::string>& FieldName,
                          const std::vector<std::string>& Value) {
  return RunChange("insert into " + TableName + " (" + Join(FieldName) + ") values (" +
                   Join(Value) + ");");
}

int32_t TSimpleDb::Update(const std::string& TableName, const std::vector<std::string>& FieldName,
                          const std::vector<std::string>& Value) {
  return RunChange("update " + TableName + " SET " + Assignments(FieldName, Value) + ";");
}

int32_t TSimpleDb::Update(const std::string& TableName, const std::vector<std::string>& FieldName,
                          const std::vector<std::string>& Value,
                          const std::string& WhereCondition) {
  return RunChange("update " + TableName + " SET " + Assignments(FieldName, Value) + " WHERE " +
                   WhereCondition + ";");
}

int32_t TSimpleDb::Delete(const std::string& TableName, const std::string& WhereCondition) {
  return RunChange("delete FROM " + TableName + " WHERE " + WhereCondition + ";");
}

int32_t TSimpleDb::DeleteAll(const std::string& TableName) {
  // Runs at once even in batch mode.
  FQuery->SetSQL("delete FROM " + TableName + ";");
  return FQuery->ExecSQL();
}

void TSimpleDb::SetBatchCommand(bool Value) {
  FQuery->ClearSQL();
  FBatchCommand = Value;
}

int32_t TSimpleDb::UpdateBatchCommand() {
  FBatchCommand = false;
  return FQuery->ExecSQL();
}

void TSimpleDb::StartTransaction() {
  if (sqlite3_exec(FConnection, "begin", nullptr, nullptr, nullptr) != SQLITE_OK) {
    RaiseEngineError(FConnection);
  }
}

void TSimpleDb::Commit() {
  if (sqlite3_exec(FConnection, "commit", nullptr, nullptr, nullptr) == SQLITE_OK) return;
  const std::string message = sqlite3_errmsg(FConnection);
  // A commit that failed (the file stayed locked) leaves the transaction open; every later
  // change would join it and never reach the file. End it, so the connection writes again.
  if (sqlite3_get_autocommit(FConnection) == 0) {
    sqlite3_exec(FConnection, "rollback", nullptr, nullptr, nullptr);
  }
  throw DbError(message);
}

std::string QuotedStr(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '\'';
  for (const char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  quoted += '\'';
  return quoted;
}

}  // namespace orvo::store
