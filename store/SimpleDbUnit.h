// TSimpleDb: the thin layer over the one SQLite database file. It owns one connection and one
// query cursor, builds whole statements as text from fixed shapes (values arrive already quoted)
// and raises DbError carrying the engine's message unchanged. It takes no lock: its owner (the
// TOrvoDiskDb that keeps it private) holds the database lock from building a statement until it
// has read the result.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace orvo::store {

class DbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One column value of the current row. NULL reads as the empty text (and as 0).
class TField {
 public:
  explicit TField(std::string value) : value_(std::move(value)) {}
  const std::string& AsString() const { return value_; }
  // Raises DbError when the text is not an integer.
  int32_t AsInteger() const;

 private:
  std::string value_;
};

// The single statement and result cursor, walked forward only.
class TQuery {
 public:
  explicit TQuery(sqlite3* connection) : connection_(connection) {}
  ~TQuery();
  TQuery(const TQuery&) = delete;
  TQuery& operator=(const TQuery&) = delete;

  // The statement text as lines; replacing or clearing it closes any open result.
  void SetSQL(const std::string& text);
  void ClearSQL();
  void AddSQL(const std::string& line);
  const std::vector<std::string>& SQL() const { return sql_; }

  // Opens the statement text as a select (nothing when a result is already open).
  void Open();
  // Runs the statement text; the rows it changed.
  int32_t ExecSQL();
  void Close();

  bool Eof() const { return eof_; }
  void Next();
  // Raises DbError "Field '%s' not found" for a column the result does not have.
  TField FieldByName(std::string_view name) const;

 private:
  std::string Text() const;

  sqlite3* connection_;
  std::vector<std::string> sql_;
  // An opened select is read whole and its statement finalised at once, so that a cursor left
  // standing on a row holds no read lock on the file (the admin tool writes to it meanwhile).
  std::vector<std::string> columns_;
  std::vector<std::vector<std::string>> rows_;
  std::size_t row_ = 0;
  bool open_ = false;
  bool eof_ = true;
};

// A file locked by another connection (the admin tool) is waited for this long before a statement
// gives up with the engine's "database is locked".
inline constexpr std::chrono::milliseconds kDefaultBusyTimeout{5000};

class TSimpleDb {
 public:
  // Opens an existing file for reading and writing; never creates it. Raises DbError with the
  // engine's message when the file cannot be opened, leaving no file behind.
  explicit TSimpleDb(const std::string& DbFileName,
                     std::chrono::milliseconds busyTimeout = kDefaultBusyTimeout);
  ~TSimpleDb();
  TSimpleDb(const TSimpleDb&) = delete;
  TSimpleDb& operator=(const TSimpleDb&) = delete;

  const std::string& Filename() const { return FFileName; }
  TQuery& Query() { return *FQuery; }
  // The engine opens a file it may not write for reading only, without a word: raises DbError
  // ("attempt to write a readonly database") when it did.
  void RequireWritable() const;

  // "select * from %s", "... where %s", "... where %s=%s": the number of rows matched; the cursor
  // stays on the first row.
  int32_t Select(const std::string& TableName);
  int32_t Select(const std::string& TableName, const std::string& WhereCondition);
  int32_t Select(const std::string& TableName, const std::string& FieldName,
                 const std::string& Value);
  int32_t Insert(const std::string& TableName, const std::vector<std::string>& FieldName,
                 const std::vector<std::string>& Value);
  int32_t Update(const std::string& TableName, const std::vector<std::string>& FieldName,
                 const std::vector<std::string>& Value);
  int32_t Update(const std::string& TableName, const std::vector<std::string>& FieldName,
                 const std::vector<std::string>& Value, const std::string& WhereCondition);
  int32_t Delete(const std::string& TableName, const std::string& WhereCondition);
  int32_t DeleteAll(const std::string& TableName);

  bool BatchCommand() const { return FBatchCommand; }
  void SetBatchCommand(bool Value);
  int32_t UpdateBatchCommand();

  void StartTransaction();
  void Commit();

 private:
  int32_t RunSelect(const std::string& statement, const std::string& countStatement);
  int32_t RunChange(const std::string& statement);

  std::string FFileName;
  sqlite3* FConnection = nullptr;
  std::unique_ptr<TQuery> FQuery;
  bool FBatchCommand = false;
};

// The quoting rule: every single quote doubled, the whole enclosed in single quotes.
std::string QuotedStr(std::string_view text);

}  // namespace orvo::store
