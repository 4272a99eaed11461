#include "platform/PendingFile.h"

#include <cstdio>
#include <random>
#include <utility>

#include "platform/PathSyntax.h"

namespace orvo::platform {
namespace {

constexpr std::size_t kSuffixDigits = 16;

std::string RandomSuffix() {
  std::random_device source;
  const uint64_t value = (uint64_t{source()} << 32) ^ source();
  char text[kSuffixDigits + 1];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

std::string NameBeside(const std::string& target, std::string_view prefix) {
  return JoinPath(FolderOf(target), std::string(prefix) + RandomSuffix());
}

bool IsNameBeside(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + kSuffixDigits || !name.starts_with(prefix)) return false;
  for (const char c : name.substr(prefix.size())) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::exchange(other.temporary_, {})),
      file_(std::move(other.file_)) {}

}  // namespace orvo::platform
