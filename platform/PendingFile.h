// New content for a path, written to a hidden temporary file in the same folder and put in the
// path's place by one rename, so readers see the old entry or the whole new one and a broken
// write leaves the old entry alone. The destructor removes an uncommitted temporary. One thread.
// Raises std::system_error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/File.h"

namespace orvo::platform {

// POSIX permission bits (07777) for a new file. Windows keeps no such bits and ignores them.
using FilePermissions = uint32_t;

// "<folder of target><separator><prefix><16 random hex digits>": a name beside `target` that no
// one else picks.
std::string NameBeside(const std::string& target, std::string_view prefix);
// Whether `name` (one component) is exactly what NameBeside gives with `prefix`: the prefix and
// 16 lower-case hex digits, nothing before or after.
bool IsNameBeside(std::string_view name, std::string_view prefix);

class PendingFile {
 public:
  // Creates "<folder of target>/<prefix><random>" exclusively, readable and writable, with
  // `permissions` when given (else the process's default for new files). On Windows the
  // temporary is hidden and held without sharing until Commit.
  static PendingFile CreateBeside(const std::string& target, std::string_view prefix,
                                  std::optional<FilePermissions> permissions);

  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&&) = delete;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();

  File& Content() { return file_; }
  const std::string& TemporaryPath() const { return temporary_; }

  // Renames the content over the target (replacing a file there), flushing it to the disk first
  // when it replaces something. On Windows the file loses its hidden attribute on the way and
  // the move fails while anything else holds the target open.
  void Commit();

 private:
  PendingFile(std::string target, std::string temporary, File file)
      : target_(std::move(target)), temporary_(std::move(temporary)), file_(std::move(file)) {}

  std::string target_;
  std::string temporary_;  // empty once committed or moved from
  File file_;
};

}  // namespace orvo::platform
