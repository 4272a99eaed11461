#include "platform/ActAsOwner.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace orvo::platform {
namespace {

struct Owner {
  uid_t user = 0;
  gid_t group = 0;
  std::vector<gid_t> groups;
};
// The owner acted as; unset while the process acts as itself.
std::optional<Owner> actingAs;

void Check(int result, const char* what) {
  if (result != 0) throw std::system_error(errno, std::generic_category(), what);
}

// The user's groups as the login would give them; just `group` for a user without a name.
std::vector<gid_t> GroupsOf(uid_t user, gid_t group) {
  const passwd* entry = ::getpwuid(user);
  if (entry == nullptr) return {group};
  int count = 16;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  while (::getgrouplist(entry->pw_name, group, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
  }
  groups.resize(static_cast<std::size_t>(count));
  return groups;
}

void Become(uid_t user, gid_t group, const std::vector<gid_t>& groups) {
  Check(::setgroups(groups.size(), groups.data()), "setgroups");
  Check(::setegid(group), "setegid");
  Check(::seteuid(user), "seteuid");
}

}  // namespace

bool ActAsOwnerOf(const std::string& folder) {
  struct stat status {};
  if (actingAs || ::geteuid() != 0 || ::stat(folder.c_str(), &status) != 0 || status.st_uid == 0) {
    return false;
  }
  const passwd* entry = ::getpwuid(status.st_uid);
  Owner owner{status.st_uid, entry != nullptr ? entry->pw_gid : status.st_gid, {}};
  owner.groups = GroupsOf(owner.user, owner.group);
  Become(owner.user, owner.group, owner.groups);
  actingAs = std::move(owner);
  return true;
}

RootForAWhile::RootForAWhile() {
  if (!actingAs) return;
  // The saved user is still root, which lets the effective one go back.
  Check(::seteuid(0), "seteuid");
  Check(::setegid(0), "setegid");
  switched_ = true;
}

RootForAWhile::~RootForAWhile() {
  if (!switched_) return;
  try {
    Become(actingAs->user, actingAs->group, actingAs->groups);
  } catch (const std::system_error&) {
    // Staying root would be worse than ending here: nothing may be written as root by mistake.
    std::_Exit(70);
  }
}

}  // namespace orvo::platform
