// orvo-admin's class-work commands: the hand-in report of a class, the collection archive of its
// work, and handing a file or folder out to every student. Each prints what it did and returns
// the exit status: 1 when an item could not be read, written or copied (the rest of the class is
// still done), 0 otherwise. A bad argument raises std::runtime_error with the one-line message.
#pragma once

#include <optional>
#include <string>

namespace orvo::store {
class TOrvoDiskDb;
}

namespace orvo::admin {

struct ClassworkArguments {
  std::string className;
  std::optional<std::string> since;  // "YYYY-MM-DD HH:MM"
  bool all = false;                  // every file, no start
  std::string csv;                   // report: also write the CSV here
  std::string out;                   // collect: the archive; default CLASS-YYYYMMDD-HHMM.zip here
  std::string path;                  // distribute: the file or folder
  std::string into;                  // distribute: the subfolder of each student's folder
};

int ReportCommand(store::TOrvoDiskDb& db, const std::string& root, const ClassworkArguments& a);
int CollectCommand(store::TOrvoDiskDb& db, const std::string& root, const ClassworkArguments& a);
int DistributeCommand(store::TOrvoDiskDb& db, const std::string& root, const ClassworkArguments& a);

}  // namespace orvo::admin
