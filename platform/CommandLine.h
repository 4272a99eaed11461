// What a program of app/ gets from and gives to the command line it runs in: its arguments as
// UTF-8 texts, and UTF-8 for the text it prints. Called once, from main, before anything else.
#pragma once

#include <string>
#include <vector>

namespace orvo::platform {

// The program's arguments as UTF-8, with an argv-style view for parsers that take one. On Linux
// they are main's own; on Windows main's argv is in the ANSI code page, which cannot hold every
// name, so they are taken from the UTF-16 command line instead.
class CommandLineArguments {
 public:
  CommandLineArguments(int argc, char** argv);
  CommandLineArguments(const CommandLineArguments&) = delete;
  CommandLineArguments& operator=(const CommandLineArguments&) = delete;

  int Count() const { return static_cast<int>(texts_.size()); }
  // Count() pointers to the texts, then a null pointer; valid as long as this object.
  char** Values() { return pointers_.data(); }
  const std::vector<std::string>& Texts() const { return texts_; }

 private:
  std::vector<std::string> texts_;
  std::vector<char*> pointers_;
};

// Makes the console (where one is attached) show the UTF-8 the programs print; the console's
// earlier setting comes back when the program exits. Nothing to do on Linux.
void UseUtf8Output();

}  // namespace orvo::platform
