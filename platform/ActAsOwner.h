// Lets a program that root runs act as the owner of a folder, so that what it writes there (a
// database, student folders, handed-out files) belongs to the user who serves the folder.
#pragma once

#include <string>

namespace orvo::platform {

// Switches the process's effective user, group and supplementary groups to those of the owner
// of `folder` when it runs as root and another user owns the folder; whether it did. Call it
// before the program starts threads. On Windows it never switches.
bool ActAsOwnerOf(const std::string& folder);

// Root again for its lifetime when ActAsOwnerOf switched (for a file only root may write);
// otherwise nothing. Raises std::system_error when the switch back fails.
class RootForAWhile {
 public:
  RootForAWhile();
  ~RootForAWhile();
  RootForAWhile(const RootForAWhile&) = delete;
  RootForAWhile& operator=(const RootForAWhile&) = delete;

 private:
  bool switched_ = false;
};

}  // namespace orvo::platform
