#include <stdexcept>

#include "platform/PendingFile.h"

namespace orvo::platform {
std::string NameBeside(const std::string& target, std::string_view prefix) { return target + std::string(prefix); }
PendingFile PendingFile::CreateBeside(const std::string&, std::string_view, std::optional<mode_t>) { throw std::runtime_error("not available on Windows yet"); }
PendingFile::PendingFile(PendingFile&& other) noexcept : target_(std::move(other.target_)), temporary_(std::move(other.temporary_)), file_(std::move(other.file_)) {}
PendingFile::~PendingFile() = default;
void PendingFile::Commit() { throw std::runtime_error("not available on Windows yet"); }
}  // namespace orvo::platform
