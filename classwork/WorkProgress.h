// What long class work (a report, a collection, a hand-out) tells the one who waits for it, and how
// it is stopped early. Called on the thread that does the work.
#pragma once

#include <cstddef>
#include <string>

namespace orvo::classwork {

class WorkProgress {
 public:
  virtual ~WorkProgress() = default;
  // Before the student at `index` (0-based) of `count`.
  virtual void StudentStarted(std::size_t index, std::size_t count, const std::string& name) {
    (void)index, (void)count, (void)name;
  }
  // Before each file that is read or copied, with its path relative to the student's folder.
  virtual void FileStarted(const std::string& relativePath) { (void)relativePath; }
  // Asked between files: true ends the work early, which the result then says.
  virtual bool StopRequested() { return false; }
};

}  // namespace orvo::classwork
