#include "classwork/ClassRoster.h"

#include <algorithm>

#include "platform/Collation.h"
#include "platform/PathSyntax.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::classwork {

std::vector<StudentFolder> ClassRoster(store::TOrvoDiskDb& db, const std::string& root,
                                       const std::string& className) {
  std::vector<std::string> classes;
  db.GroupListAdmin(classes);
  if (std::find(classes.begin(), classes.end(), className) == classes.end()) {
    throw RosterError({Fault::kNoClass, className, {}, {}});
  }
  if (root.empty()) throw RosterError({Fault::kNoRootFolder, {}, {}, {}});

  std::vector<StudentFolder> roster;
  for (const store::StudentRow& row : db.Students(className)) {
    // The folder the service gives the student at login: root\class\login id, where a backslash
    // separates levels on every host.
    std::string folder = platform::TrimSeparators(root) + '\\' + className + '\\' + row.userId;
    std::replace(folder.begin(), folder.end(), '\\', platform::kPathSeparator);
    roster.push_back({row.userName, row.userId, std::move(folder)});
  }
  std::stable_sort(roster.begin(), roster.end(), [](const auto& a, const auto& b) {
    return platform::CompareNames(a.name, b.name) < 0;
  });
  return roster;
}

}  // namespace orvo::classwork
