#include "platform/posix/ShareRegistry.h"

#include <string_view>
#include <utility>

namespace orvo::platform {
namespace {

bool IsWithin(std::string_view path, std::string_view tree) {
  if (tree == "/") return true;
  return path.size() > tree.size() && path.starts_with(tree) && path[tree.size()] == '/';
}

bool Meets(const ClaimTarget& a, const ClaimTarget& b) {
  if (a.forReading && b.forReading) return false;
  if (a.key && b.key && *a.key == *b.key) return true;
  if (a.path == b.path) return true;
  return (a.wholeTree && IsWithin(b.path, a.path)) || (b.wholeTree && IsWithin(a.path, b.path));
}

}  // namespace

ShareRegistry::Claim::Claim(Claim&& other) noexcept
    : registry_(std::exchange(other.registry_, nullptr)), id_(std::exchange(other.id_, 0)) {}

ShareRegistry::Claim& ShareRegistry::Claim::operator=(Claim&& other) noexcept {
  if (this != &other) {
    Release();
    registry_ = std::exchange(other.registry_, nullptr);
    id_ = std::exchange(other.id_, 0);
  }
  return *this;
}

void ShareRegistry::Claim::Release() {
  if (registry_ != nullptr) std::exchange(registry_, nullptr)->Drop(std::exchange(id_, 0));
}

ShareRegistry& ShareRegistry::Process() {
  static ShareRegistry registry;
  return registry;
}

std::optional<ShareRegistry::Claim> ShareRegistry::TryClaim(ClaimTarget target) {
  std::lock_guard guard(lock_);
  for (const auto& [id, held] : held_) {
    if (Meets(held, target)) return std::nullopt;
  }
  const uint64_t id = nextId_++;
  held_.emplace(id, std::move(target));
  return Claim(this, id);
}

void ShareRegistry::Drop(uint64_t id) {
  std::lock_guard guard(lock_);
  held_.erase(id);
}

}  // namespace orvo::platform
