#include "platform/CommandLine.h"

namespace orvo::platform {

CommandLineArguments::CommandLineArguments(int argc, char** argv) : texts_(argv, argv + argc) {
  for (std::string& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

void UseUtf8Output() {}

}  // namespace orvo::platform
