// `orvo-admin pack FOLDER` as a separate process: the archive beside the folder read back by
// unzip, the path on standard output, no database needed, the messages and exit status for a
// missing folder, a file in the folder's place, an archive that cannot be created (a folder in the
// way, or a folder its user may not write) and a file that cannot be opened, and the progress bar
// drawn on a terminal only.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/pack/ZipTools.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace orvo {
namespace {

using orvo::testing::Outcome;
using orvo::testing::Process;
using orvo::testing::TempDir;
namespace fs = std::filesystem;

class AdminPackTest : public ::testing::Test {
 protected:
  // --dir names a folder without a database: pack needs none.
  Outcome Pack(const std::string& folder) {
    return testing::Run("orvo-admin", {"--dir", dir.Path().string(), "pack", folder});
  }
  // Runs `command` in a shell on a pseudo-terminal (util-linux's script), output and error merged.
  Outcome OnTerminal(const std::string& command) {
    return Process("/usr/bin/script", {"-qec", command, "/dev/null"}).Wait();
  }

  TempDir dir;
};

TEST_F(AdminPackTest, PacksTheFolderBesideItAndPrintsOnlyTheArchivesPath) {
  dir.Write("班级/学生/作业.txt", "第一次作业");
  dir.Write("班级/a.txt", std::string(200000, 'a'));
  const std::string archive = dir / "班级.zip";
  for (const std::string& folder : {dir / "班级", dir / "班级/"}) {  // a trailing separator too
    SCOPED_TRACE(folder);
    const Outcome outcome = Pack(folder);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, archive + "\n");
    EXPECT_EQ(outcome.err, "") << "off a terminal nothing but the result";
    const pack::testing::ToolVerdict unzip = pack::testing::UnzipTest(archive);
    if (unzip.ran) {
      EXPECT_TRUE(unzip.ok) << unzip.detail;
    }
  }
  EXPECT_FALSE(fs::exists(dir / "orvoDisk.db"));
}

TEST_F(AdminPackTest, BadFoldersAndArchivesExitOneWithALineNamingThem) {
  dir.Write("file.txt", "not a folder");
  dir.Write("Blocked/a.txt", "a");
  fs::create_directory(dir.Path() / "Blocked.zip");
  dir.Write("Broken/a.txt", "a");
  dir.Write("Broken/sub/z.txt", "never packed");
  fs::create_symlink("no-such-target", dir.Path() / "Broken/sub/bad");
  struct Case {
    std::string folder;
    std::string message;
  };
  const Case cases[] = {
      {dir / "missing", "orvo-admin: there is no folder " + dir / "missing" + "\n"},
      {dir / "file.txt",
       "orvo-admin: " + dir / "file.txt" + " is a file, not a folder; pack takes a folder\n"},
      {dir / "Blocked", "orvo-admin: cannot create the archive " + dir / "Blocked.zip" +
                            ": Is a directory; nothing was packed\n"},
      {dir / "Broken", "orvo-admin: cannot open " + dir / "Broken/sub/bad" +
                           ": No such file or directory; the archive " + dir / "Broken.zip" +
                           " was kept with the 1 file packed before\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    const Outcome outcome = Pack(c.folder);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, c.message);
    EXPECT_EQ(outcome.out, "");
  }
  EXPECT_FALSE(fs::exists(dir / "missing.zip"));
  EXPECT_FALSE(fs::exists(dir / "file.txt.zip"));
  EXPECT_TRUE(fs::is_directory(dir / "Blocked.zip")) << "left as it was";
}

TEST_F(AdminPackTest, AFolderItsUserMayNotWriteIsReportedAndLeftAsItWas) {
  // Permissions do not stop root, who runs the tests: the packing runs as nobody, in a folder
  // root owns and others may only read.
  dir.Write("A/a.txt", "a");
  fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  const std::vector<std::string> asNobody = {"--reuid=65534", "--regid=65534", "--clear-groups"};
  const std::string admin = testing::BuiltProgram("orvo-admin").string();
  std::vector<std::string> probe = asNobody;
  probe.insert(probe.end(),
               {"/bin/sh", "-c", "test -x \"$0\" && test -r \"$1\" && ! test -w \"$2\"", admin,
                dir / "A/a.txt", dir.Path().string()});
  if (Process("/usr/bin/setpriv", probe).Wait().status != 0) {
    GTEST_SKIP() << "nobody cannot run the built program here (setpriv missing or the build "
                    "folder closed to others)";
  }
  std::vector<std::string> pack = asNobody;
  pack.insert(pack.end(), {admin, "pack", dir / "A"});
  const Outcome outcome = Process("/usr/bin/setpriv", pack).Wait();

  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "orvo-admin: cannot create the archive " + dir / "A.zip" +
                             ": Permission denied; nothing was packed\n");
  EXPECT_FALSE(fs::exists(dir / "A.zip"));
}

TEST_F(AdminPackTest, OnATerminalABarShowsTheFilesDoneOfTheTotal) {
  if (!fs::exists("/usr/bin/script")) GTEST_SKIP() << "script (util-linux) is not installed";
  for (int i = 0; i < 3; ++i) dir.Write("A/f" + std::to_string(i) + ".txt", "x");
  const std::string command =
      testing::BuiltProgram("orvo-admin").string() + " pack '" + (dir / "A") + "'";

  const Outcome outcome = OnTerminal(command);

  ASSERT_EQ(outcome.status, 0) << outcome.out;
  EXPECT_NE(outcome.out.find("\r[                        ] 0/3 f"), std::string::npos)
      << outcome.out;
  // The bar is taken off its line before the path is printed (the terminal ends lines in CR LF).
  EXPECT_NE(outcome.out.find("\r" + std::string(79, ' ') + "\r" + dir / "A.zip" + "\r\n"),
            std::string::npos)
      << outcome.out;
}

}  // namespace
}  // namespace orvo
