// The drop-in that lets the packaged service write to the folders orvo-admin sets: what systemd
// reads from it, and that it matches the unit it extends.
#include "service/UnitFolders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace orvo::service {
namespace {

namespace fs = std::filesystem;
using orvo::testing::TempDir;

TEST(UnitFolders, NamesEachFolderSoThatSystemdReadsItBack) {
  const struct {
    std::vector<std::string> folders;
    std::string paths;  // the value of ReadWritePaths=
    bool homeReadOnly;
  } cases[] = {
      {{"/srv/orvo/students", "/srv/orvo/public"},
       R"("-/srv/orvo/students" "-/srv/orvo/public")",
       false},
      {{"/srv/my classes", ""}, R"("-/srv/my classes")", false},
      {{"/srv/100%", "/srv/学生"}, R"("-/srv/100%%" "-/srv/学生")", false},
      {{"/home/teacher/orvo", "/srv/public"}, R"("-/home/teacher/orvo" "-/srv/public")", true},
      {{"/homework", "/rooted"}, R"("-/homework" "-/rooted")", false},
      {{"/root/orvo"}, R"("-/root/orvo")", true},
  };
  for (const auto& c : cases) {
    const std::string text = UnitFoldersText(c.folders);
    EXPECT_NE(text.find("\n[Service]\nReadWritePaths=" + c.paths + "\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("ProtectHome=read-only\n") != std::string::npos, c.homeReadOnly) << text;
    for (const std::string& folder : c.folders) {
      if (folder.empty()) continue;
      EXPECT_NE(text.find(kFolderCommentPrefix + folder + "\n"), std::string::npos) << text;
    }
  }
}

// systemd's own parser reads the folders without a warning, as it warns of a path it cannot use.
TEST(UnitFolders, SystemdReadsTheFoldersWithoutAWarning) {
  if (std::system("command -v systemd-analyze >/dev/null") != 0) {
    GTEST_SKIP() << "no systemd-analyze (package systemd)";
  }
  TempDir dir;
  const fs::path unit = dir.Path() / "orvo-folders-check.service";
  const auto warnings = [&](const std::string& text) {
    std::ofstream(unit) << "[Service]\nExecStart=/bin/true\n" << text;
    const std::string command = "systemd-analyze verify " + unit.string() + " 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
      char buffer[512];
      while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
      ::pclose(pipe);
    }
    return output;
  };
  ASSERT_NE(warnings("ReadWritePaths=\"-/srv/100%x\"\n"), "") << "the check must see a fault";
  EXPECT_EQ(warnings(UnitFoldersText({"/srv/my classes/学生", "/srv/100%x", "/home/t/公共 资源"})),
            "");
}

TEST(UnitFolders, AFolderTheUnitCannotNameIsRefused) {
  for (const std::string folder : {"/srv/a\"b", "/srv/a\\b", "/srv/a\nb", "/srv/a\tb"}) {
    EXPECT_THROW(UnitFoldersText({"/srv/ok", folder}), std::invalid_argument) << folder;
  }
}

TEST(UnitFolders, LinksAreNamedAsSystemdResolvesThem) {
  TempDir dir;
  fs::create_directories(dir.Path() / "real" / "students");
  fs::create_directory_symlink(dir.Path() / "real", dir.Path() / "link");
  const std::string resolved = fs::canonical(dir.Path() / "real" / "students").string();
  const std::string text = UnitFoldersText({(dir.Path() / "link" / "students").string()});
  EXPECT_NE(text.find("\"-" + resolved + "\""), std::string::npos) << text;
}

TEST(UnitFolders, TheFileIsWrittenOnlyWhenItChanges) {
  TempDir dir;
  const fs::path file = dir.Path() / "orvo-serverd.service.d" / "folders.conf";
  EXPECT_TRUE(WriteUnitFolders(file.string(), "one\n"));
  EXPECT_EQ(TempDir::Read(file), "one\n");
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
  EXPECT_FALSE(WriteUnitFolders(file.string(), "one\n"));
  EXPECT_TRUE(WriteUnitFolders(file.string(), "two\n"));
  EXPECT_EQ(TempDir::Read(file), "two\n");
  EXPECT_FALSE(fs::exists(file.string() + ".new"));
}

TEST(UnitFolders, TheServiceFolderIsRecognisedHoweverItIsNamed) {
  TempDir dir;
  fs::create_directories(dir.Path() / "lib" / "orvo");
  fs::create_directory_symlink(dir.Path() / "lib", dir.Path() / "alias");
  const std::string service = (dir.Path() / "lib" / "orvo").string();
  EXPECT_TRUE(IsServiceDatabaseFolder(service, service));
  EXPECT_TRUE(IsServiceDatabaseFolder(service + "/", service));
  EXPECT_TRUE(IsServiceDatabaseFolder((dir.Path() / "alias" / "orvo").string(), service));
  EXPECT_FALSE(IsServiceDatabaseFolder((dir.Path() / "lib").string(), service));
  EXPECT_FALSE(IsServiceDatabaseFolder((dir.Path() / "missing").string(), service));
}

}  // namespace
}  // namespace orvo::service
