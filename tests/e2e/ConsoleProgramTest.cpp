// The console program's start without a graphical display: its help, and a clear refusal where Qt
// would otherwise abort.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/Process.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace orvo::testing {
namespace {

class ConsoleWithoutDisplay : public ::testing::Test {
 protected:
  ScopedEnv display_{"DISPLAY", std::nullopt};
  ScopedEnv wayland_{"WAYLAND_DISPLAY", std::nullopt};
  ScopedEnv platform_{"QT_QPA_PLATFORM", std::nullopt};
};

TEST_F(ConsoleWithoutDisplay, HelpIsPrintedLikeTheOtherPrograms) {
  for (const char* option : {"--help", "-h"}) {
    const Outcome outcome = orvo::testing::Run("orvo-server", {option});
    EXPECT_EQ(outcome.status, 0) << option << ": " << outcome.err;
    EXPECT_NE(outcome.out.find("--dir"), std::string::npos) << outcome.out;
  }
}

TEST_F(ConsoleWithoutDisplay, StartIsRefusedWithAMessageInsteadOfAnAbort) {
  TempDir dir;
  const Outcome outcome = orvo::testing::Run("orvo-server", {"--dir", dir.Path().string()});
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  EXPECT_NE(outcome.err.find("display"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("orvo-serverd"), std::string::npos) << outcome.err;
}

TEST_F(ConsoleWithoutDisplay, AnUnknownOptionIsAnErrorNotAnAbort) {
  const Outcome outcome = orvo::testing::Run("orvo-server", {"--no-such-option"});
  EXPECT_NE(outcome.status, 0);
  EXPECT_NE(outcome.status, 134) << outcome.err;
}

}  // namespace
}  // namespace orvo::testing
