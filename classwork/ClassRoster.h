// The students of one class and the folders the service gives them (root, class, login id), in
// the order the console's lists show names. What every hand-in, collection and hand-out works
// through. Any thread (the database object takes its own lock).
#pragma once

#include <string>
#include <vector>

#include "classwork/Problem.h"

namespace orvo::store {
class TOrvoDiskDb;
}

namespace orvo::classwork {

struct StudentFolder {
  std::string name;    // as the class list shows it
  std::string userId;  // the login id, which names the folder
  std::string folder;  // the host path of root/class/userId, host separators
};

// Raised when the roster cannot be made: no class of that exact name (kNoClass), or no root folder
// in the settings (kNoRootFolder).
class RosterError : public std::exception {
 public:
  explicit RosterError(Problem problem) : problem_(std::move(problem)) {}
  const Problem& problem() const { return problem_; }
  const char* what() const noexcept override { return "class roster"; }

 private:
  Problem problem_;
};

// The class's students by name order (platform/Collation.h). Database failures raise DbError.
std::vector<StudentFolder> ClassRoster(store::TOrvoDiskDb& db, const std::string& root,
                                       const std::string& className);

}  // namespace orvo::classwork
