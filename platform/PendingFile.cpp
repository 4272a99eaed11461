#include "platform/PendingFile.h"

#include <cstdio>
#include <random>
#include <utility>

namespace orvo::platform {
namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "\\/";
constexpr const char* kHere = ".\\";
#else
constexpr const char* kSeparators = "/";
constexpr const char* kHere = "./";
#endif

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
  const std::size_t cut = target.find_last_of(kSeparators);
  const std::string folder =
      cut == std::string::npos ? std::string(kHere) : target.substr(0, cut + 1);
  return folder + std::string(prefix) + RandomSuffix();
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
