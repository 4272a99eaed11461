// Every program answers --version with the project's version, without a database, a display or
// a network.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/Version.h"
#include "tests/support/Process.h"
#include "tests/support/ScopedEnv.h"

namespace orvo::testing {
namespace {

TEST(ProgramVersion, EveryProgramPrintsItsNameAndTheProjectVersion) {
  // The console must answer before it looks for a display.
  ScopedEnv display{"DISPLAY", std::nullopt};
  ScopedEnv wayland{"WAYLAND_DISPLAY", std::nullopt};
  ScopedEnv platform{"QT_QPA_PLATFORM", std::nullopt};
  std::vector<std::string> programs = {"orvo", "orvo-serverd", "orvo-admin"};
#ifdef ORVO_WITH_CONSOLE
  programs.push_back("orvo-server");
#endif
  for (const std::string& program : programs) {
    const Outcome outcome = orvo::testing::Run(program, {"--version"});
    EXPECT_EQ(outcome.status, 0) << program << ": " << outcome.err;
    EXPECT_EQ(outcome.out, program + " " + kVersion + "\n") << program;
  }
}

}  // namespace
}  // namespace orvo::testing
