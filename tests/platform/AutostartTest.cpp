// Start at logon on Linux: the XDG autostart entry and the autostart routine over it.
#include "platform/Autostart.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Autostart.h"
#include "platform/posix/XdgAutostart.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace orvo::platform {
namespace {

using orvo::testing::ScopedEnv;
using orvo::testing::TempDir;
namespace fs = std::filesystem;

std::string ExecLine(const std::vector<std::string>& commandLine) {
  const std::string text = AutostartEntryText("orvoDiskServer", commandLine);
  const std::size_t start = text.find("\nExec=");
  if (start == std::string::npos) return {};
  const std::size_t end = text.find('\n', start + 1);
  return text.substr(start + 1, end - start - 1);
}

TEST(AutostartEntry, DescribesAnApplicationStartedByItsPath) {
  const std::string text = AutostartEntryText("orvoDiskServer", {"/opt/orvo/orvo-server"});
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u) << text;
  EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(text.find("\nName=orvoDiskServer\n"), std::string::npos);
  EXPECT_NE(text.find("\nExec=/opt/orvo/orvo-server\n"), std::string::npos);
}

TEST(AutostartEntry, ExecQuotesAndEscapesWhatTheCommandLineRulesReserve) {
  const struct {
    std::vector<std::string> commandLine;
    const char* exec;
  } kCases[] = {
      {{"/opt/orvo/orvo-server"}, "Exec=/opt/orvo/orvo-server"},
      {{"/home/老师/Orvo Server/orvo-server"}, "Exec=\"/home/老师/Orvo Server/orvo-server\""},
      {{"/opt/a$b"}, "Exec=\"/opt/a\\\\$b\""},
      {{"/opt/a\"b"}, "Exec=\"/opt/a\\\\\"b\""},
      {{"/opt/a\\b"}, "Exec=\"/opt/a\\\\\\\\b\""},
      {{"/opt/100%"}, "Exec=/opt/100%%"},
      {{"/opt/orvo-server", "--dir", "/srv/orvo"}, "Exec=/opt/orvo-server --dir /srv/orvo"},
      {{"/opt/orvo-server", "--dir", "/home/老师/三年 2班"},
       "Exec=/opt/orvo-server --dir \"/home/老师/三年 2班\""},
      {{"/opt/orvo-server", ""}, "Exec=/opt/orvo-server \"\""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ExecLine(c.commandLine), c.exec) << c.exec;
  }
}

TEST(AutostartEntry, WriteReplacesTheEntryAndLeavesNothingElse) {
  TempDir dir;
  const std::string folder = dir / "config/autostart";
  ASSERT_TRUE(WriteAutostartEntry(folder, "orvoDiskServer", {"/old/orvo-server"}));
  ASSERT_TRUE(WriteAutostartEntry(folder, "orvoDiskServer", {"/new/orvo-server"}));
  EXPECT_EQ(TempDir::Read(folder + "/orvoDiskServer.desktop"),
            AutostartEntryText("orvoDiskServer", {"/new/orvo-server"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

  EXPECT_TRUE(RemoveAutostartEntry(folder, "orvoDiskServer"));
  EXPECT_FALSE(fs::exists(folder + "/orvoDiskServer.desktop"));
  EXPECT_TRUE(RemoveAutostartEntry(folder, "orvoDiskServer"));
  EXPECT_TRUE(RemoveAutostartEntry(dir / "never-made", "orvoDiskServer"));
}

TEST(AutostartEntry, FolderThatCannotExistFailsTheWrite) {
  TempDir dir;
  const std::string file = dir.Write("plain-file", "x");
  EXPECT_FALSE(WriteAutostartEntry(file + "/autostart", "orvoDiskServer", {"/opt/orvo-server"}));
  EXPECT_FALSE(WriteAutostartEntry("", "orvoDiskServer", {"/opt/orvo-server"}));
  EXPECT_TRUE(RemoveAutostartEntry(file + "/autostart", "orvoDiskServer"));
}

TEST(AutostartFolder, FollowsXdgConfigHomeElseHome) {
  {
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    ScopedEnv home("HOME", "/home/t");
    EXPECT_EQ(AutostartFolder(), "/cfg/autostart");
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", "relative/cfg");
    ScopedEnv home("HOME", "/home/t");
    EXPECT_EQ(AutostartFolder(), "/home/t/.config/autostart");
  }
  {
    ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv home("HOME", std::nullopt);
    EXPECT_EQ(AutostartFolder(), "");
  }
}

TEST(AutostartRoutine, RegistersThisExecutableAndUnregisters) {
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir.Path().string());
  const std::string entry = dir / "autostart/orvoDiskServer.desktop";
  ASSERT_FALSE(ExecutablePath().empty());
  ASSERT_EQ(ExecutablePath().front(), '/');

  core::SetAutoStart(true, "orvoDiskServer", {"--dir", "/srv/orvo data"});
  EXPECT_EQ(TempDir::Read(entry),
            AutostartEntryText("orvoDiskServer", {ExecutablePath(), "--dir", "/srv/orvo data"}));
  core::SetAutoStart(false, "orvoDiskServer");
  EXPECT_FALSE(fs::exists(entry));
  EXPECT_NO_THROW(core::SetAutoStart(false, "orvoDiskServer"));
}

TEST(AutostartRoutine, FailureRaisesTheMessageWithTheValueName) {
  TempDir dir;
  ScopedEnv config("XDG_CONFIG_HOME", dir.Write("plain-file", "x"));
  try {
    core::SetAutoStart(true, "orvoDiskServer");
    ADD_FAILURE() << "no error raised";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'orvoDiskServer'");
  }
  ScopedEnv noConfig("XDG_CONFIG_HOME", std::nullopt);
  ScopedEnv noHome("HOME", std::nullopt);
  EXPECT_THROW(core::SetAutoStart(true, "orvoDiskServer"), std::runtime_error);
}

}  // namespace
}  // namespace orvo::platform
