// What went wrong with one item of a class's work (a student's folder, a file, the archive, the
// destination), kept apart from its wording so that each front end words it in its own language:
// the console in Chinese, the command-line tools in English. Plain values; any thread.
#pragma once

#include <string>

namespace orvo::classwork {

enum class Fault {
  kNoClass,           // subject: the class name; no class of that exact name exists
  kNoRootFolder,      // the settings name no folder for the students' folders
  kFolderMissing,     // subject: a student's folder, which does not exist
  kFolderUnreadable,  // subject: a student's folder (or a folder below it) that cannot be listed
  kFileUnreadable,    // subject: a file that could not be opened or read to its end (skipped)
  kSourceMissing,     // subject: the file or folder to hand out, which cannot be read
  kBadSubfolder,      // subject: the subfolder to hand out into: not a relative path of plain
                      // folder names
  kExists,            // subject: a student's entry of the name being handed out (skipped)
  kCopyFailed,        // subject: the student's target that could not be written
  kArchiveCreate,     // subject: the archive, which could not be created (nothing written)
  kArchiveWrite,      // subject: the archive, which could not be written to its end
  kCancelled,         // the operator stopped the work
};

struct Problem {
  Fault fault = Fault::kCancelled;
  std::string subject;  // the path or name the fault is about
  std::string reason;   // the system's text, where there is one
  std::string student;  // the student's name, when it concerns one student
};

// One line for a person: "Cannot read file \"/x/y\": Permission denied" and the like.
std::string EnglishText(const Problem& problem);
// The same in Chinese, for the console and the files a teacher opens (the manifest).
std::string ChineseText(const Problem& problem);

}  // namespace orvo::classwork
