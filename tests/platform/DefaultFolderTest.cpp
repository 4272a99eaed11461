// The database folder a program uses without --dir: its own, unless it is installed among the
// system's programs, where the user's data folder takes its place.
#include "platform/DefaultFolder.h"

#include <gtest/gtest.h>

namespace orvo::platform {
namespace {

TEST(DefaultDatabaseFolder, AnInstalledProgramUsesTheUsersDataFolder) {
  const struct {
    const char* program;
    bool holdsDatabase;
    const char* dataHome;
    const char* home;
    const char* expected;
  } cases[] = {
      {"/opt/orvo", false, "/home/t/.data", "/home/t", "/opt/orvo"},
      {"/work/build/release/bin", false, nullptr, "/home/t", "/work/build/release/bin"},
      {"/usr/bin", false, "/home/t/.data", "/home/t", "/home/t/.data/orvo"},
      {"/usr/bin", false, nullptr, "/home/t", "/home/t/.local/share/orvo"},
      {"/usr/bin", false, "", "/home/t", "/home/t/.local/share/orvo"},
      {"/usr/bin", false, "relative", "/home/t", "/home/t/.local/share/orvo"},
      {"/usr/local/bin", false, nullptr, "/root", "/root/.local/share/orvo"},
      {"/usr/bin", true, nullptr, "/home/t", "/usr/bin"},  // a database put there on purpose
      {"/usr/bin", false, nullptr, nullptr, "/usr/bin"},   // nowhere else to go
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DefaultDatabaseFolder(c.program, c.holdsDatabase, c.dataHome, c.home), c.expected)
        << c.program << " " << (c.dataHome ? c.dataHome : "-") << " " << (c.home ? c.home : "-");
  }
}

}  // namespace
}  // namespace orvo::platform
