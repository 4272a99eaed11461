// orvo-admin run by root on a folder that a service's user owns: what it makes there belongs to
// that user, so that the service (which runs as the user) can use it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/Process.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace orvo::testing {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

uid_t OwnerOf(const fs::path& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? status.st_uid : static_cast<uid_t>(-1);
}

TEST(AdminAsRoot, WorksAsTheOwnerOfTheDatabaseFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, as the package's administrator has";
  // In a sanitizer build: LeakSanitizer cannot stop a process whose effective user changed.
  const char* asan = std::getenv("ASAN_OPTIONS");
  ScopedEnv noLeakCheck{"ASAN_OPTIONS",
                        std::string(asan != nullptr ? asan : "") + ":detect_leaks=0"};
  TempDir dir;
  const fs::path students = dir.Path() / "students";
  fs::create_directory(students);
  ASSERT_EQ(::chown(dir.Path().c_str(), kNobody, kNoGroup), 0);
  ASSERT_EQ(::chown(students.c_str(), kNobody, kNoGroup), 0);
  const std::string folder = dir.Path().string();

  for (const auto& args :
       std::vector<std::vector<std::string>>{{"init"},
                                             {"settings", "set", "--root", students.string()},
                                             {"class", "add", "一班"},
                                             {"student", "add", "一班", "张三"}}) {
    const Outcome outcome = RunAdmin(folder, args);
    ASSERT_EQ(outcome.status, 0) << args.front() << ": " << outcome.err;
  }
  EXPECT_EQ(OwnerOf(dir.Path() / "orvoDisk.db"), kNobody);
  EXPECT_EQ(OwnerOf(students / "一班"), kNobody);
  EXPECT_EQ(OwnerOf(students / "一班" / "张三"), kNobody);
}

TEST(AdminAsRoot, StaysRootOnItsOwnFolders) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  TempDir dir;
  ASSERT_EQ(RunAdmin(dir.Path().string(), {"init"}).status, 0);
  EXPECT_EQ(OwnerOf(dir.Path() / "orvoDisk.db"), 0u);
}

}  // namespace
}  // namespace orvo::testing
