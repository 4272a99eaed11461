// orvo-admin's class-work commands as a teacher runs them at the end and the start of a lesson:
// report, collect (the archive checked by Python's zipfile and unzip against the files on disk)
// and distribute, and the exit status and message of each bad input.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/pack/ZipTools.h"
#include "tests/support/Process.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

namespace orvo {
namespace {

using orvo::testing::Outcome;
using orvo::testing::TempDir;
namespace fs = std::filesystem;
using namespace std::chrono;

// 2026-12-11 08:00:00 in the zone the tests set (UTC).
const sys_seconds kStart{seconds{1796976000}};

// Checks a collection archive against the student folders: every student file entry has the
// bytes of the file on disk, the manifest row of each file carries its bytes and SHA-256, and
// prints "entries N", "rows N", "未交 NAMES" and "bad ..." lines.
constexpr char kCheckArchive[] = R"PY(
import csv, hashlib, io, sys, zipfile
archive, root, cls = sys.argv[1], sys.argv[2], sys.argv[3]
with zipfile.ZipFile(archive) as z:
    assert z.testzip() is None
    names = z.namelist()
    manifest = z.read(cls + '/清单.csv').decode('utf-8')
    assert manifest.startswith('\ufeff'), 'no BOM'
    rows = list(csv.reader(io.StringIO(manifest[1:])))
    assert rows[0] == ['姓名', '文件', '字节数', '最后修改', 'SHA-256', '状态'], rows[0]
    # A name a spreadsheet would take for a formula is listed disarmed, with a leading "'".
    unarmed = lambda t: t[1:] if t[:1] == "'" and t[1:2] in ('=', '+', '-', '@') else t
    listed = {(r[0], unarmed(r[1])): r for r in rows[1:] if r[1]}
    files = [n for n in names if not n.endswith('/清单.csv')]
    print('entries', len(files))
    for n in files:
        _, name, rel = n.split('/', 2)
        data = z.read(n)
        with open(root + '/' + cls + '/' + name + '/' + rel, 'rb') as f:
            if f.read() != data: print('bad bytes', n)
        row = listed.get((name, rel))
        if row is None: print('bad no row', n); continue
        if row[2] != str(len(data)): print('bad size', n)
        if row[4] != hashlib.sha256(data).hexdigest(): print('bad hash', n)
    print('rows', len(listed))
    print('未交', ' '.join(r[0] for r in rows[1:] if r[5] == '未交'))
)PY";

class AdminClasswork : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Admin({"init"}).status, 0);
    AdminOk({"settings", "set", "--root", root});
    AdminOk({"class", "add", kClass});
    AdminOk({"student", "add", kClass, "李明", "王芳", "赵敏"});
    Write("李明", "作业.docx", std::string(5000, 'x'), kStart + minutes(10));
    Write("李明", "图片/图 1.png", "png", kStart + minutes(20));
    Write("李明", "上周.txt", "old", kStart - hours(24));
    Write("赵敏", "=1+1.txt", "formula?", kStart + minutes(5));
    Write("王芳", "旧.txt", "old", kStart - minutes(1));
  }

  Outcome Admin(const std::vector<std::string>& args) {
    return testing::RunAdmin(dir.Path().string(), args);
  }
  void AdminOk(const std::vector<std::string>& args) {
    const Outcome outcome = Admin(args);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
  }
  void Write(const std::string& student, const std::string& relative, const std::string& content,
             sys_seconds when) {
    const fs::path file = fs::path(root) / kClass / student / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    fs::last_write_time(file, file_clock::from_sys(when));
  }

  static constexpr char kClass[] = "初二（3）班";
  testing::ScopedEnv zone{"TZ", "UTC0"};
  TempDir dir;
  std::string root = dir / "students";
};

TEST_F(AdminClasswork, ReportCountsTheWorkSinceTheStartAndWritesTheCsv) {
  const std::string csv = dir / "report.csv";
  const Outcome report = Admin({"report", kClass, "--since", "2026-12-11 08:00", "--csv", csv});
  EXPECT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(report.out,
            "班级\t姓名\t文件数\t字节数\t最后修改\t状态\n"
            "初二（3）班\t李明\t2\t5003\t2026-12-11 08:20:00\t已交\n"
            "初二（3）班\t王芳\t0\t0\t\t未交\n"
            "初二（3）班\t赵敏\t1\t8\t2026-12-11 08:05:00\t已交\n");
  EXPECT_NE(report.err.find("2 of 3 students handed in"), std::string::npos) << report.err;
  EXPECT_EQ(report.err.find('\r'), std::string::npos);  // no progress line off a terminal

  std::ifstream in(csv, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(),
            "\xEF\xBB\xBF"
            "班级,姓名,文件数,字节数,最后修改,状态\r\n"
            "初二（3）班,李明,2,5003,2026-12-11 08:20:00,已交\r\n"
            "初二（3）班,王芳,0,0,,未交\r\n"
            "初二（3）班,赵敏,1,8,2026-12-11 08:05:00,已交\r\n");

  const Outcome all = Admin({"report", kClass, "--all"});
  EXPECT_NE(all.out.find("李明\t3\t5006"), std::string::npos) << all.out;
}

TEST_F(AdminClasswork, CollectWritesOneArchiveWithTheManifestThatIndependentReadersAccept) {
  const std::string archive = dir / "collected.zip";
  const Outcome collect =
      Admin({"collect", kClass, "--since", "2026-12-11 08:00", "--out", archive});
  ASSERT_EQ(collect.status, 0) << collect.err;
  EXPECT_EQ(collect.out, archive + "\n");
  EXPECT_NE(collect.err.find("3 files (5011 bytes) of 2 students; 1 without work: 王芳"),
            std::string::npos)
      << collect.err;

  const auto python = pack::testing::FindProgram("python3");
  ASSERT_TRUE(python) << "python3 is needed to read the archive back";
  testing::Process check(*python, {"-c", kCheckArchive, archive, root, kClass});
  const Outcome checked = check.Wait();
  ASSERT_EQ(checked.status, 0) << checked.err;
  EXPECT_EQ(checked.out, "entries 3\nrows 3\n未交 王芳\n");
  const pack::testing::ToolVerdict unzip = pack::testing::UnzipTest(archive);
  EXPECT_TRUE(unzip.ran && unzip.ok) << unzip.detail;

  // Nothing of the students' files changed.
  EXPECT_TRUE(fs::exists(fs::path(root) / kClass / "李明" / "上周.txt"));
}

TEST_F(AdminClasswork, DistributeAddsToEveryStudentAndSkipsAnExistingName) {
  TempDir teacher;
  const std::string sheet = teacher.Write("作业.docx", "worksheet");
  const Outcome out = Admin({"distribute", kClass, sheet});
  EXPECT_EQ(out.status, 0) << out.err;
  EXPECT_NE(out.out.find("skipped\t李明\t"), std::string::npos) << out.out;
  EXPECT_NE(out.out.find("copied\t王芳\t"), std::string::npos) << out.out;
  EXPECT_NE(out.err.find("2 copied, 1 skipped"), std::string::npos) << out.err;
  std::ifstream li(fs::path(root) / kClass / "李明" / "作业.docx", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(li), {}), std::string(5000, 'x'));

  const Outcome into = Admin({"distribute", kClass, sheet, "--into", "第三课"});
  EXPECT_EQ(into.status, 0) << into.err;
  EXPECT_TRUE(fs::exists(fs::path(root) / kClass / "李明" / "第三课" / "作业.docx"));
}

TEST_F(AdminClasswork, BadInputEndsWithStatusOneAndAClearMessage) {
  fs::remove_all(fs::path(root) / kClass / "赵敏");
  const std::string missingFolder = dir / "no-such-folder";
  const std::string notes = dir.Write("notes.txt", "notes");
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"report", "初二(3)班"}, "no class named '初二(3)班'"},
      {{"collect", "没有的班"}, "no class named '没有的班'"},
      {{"distribute", "没有的班", notes}, "no class named"},
      {{"report", kClass, "--since", "yesterday"}, "--since takes a local time"},
      {{"report", kClass, "--since", "2026-12-11 08:00", "--all"}, "exclude each other"},
      {{"report", kClass, "--csv", missingFolder + "/r.csv"}, "cannot write"},
      {{"collect", kClass, "--out", missingFolder + "/c.zip"}, "cannot create the archive"},
      {{"distribute", kClass, missingFolder}, "cannot read"},
      {{"distribute", kClass, notes, "--into", "../别人"}, "is not a subfolder"},
      // A student folder gone: named, and the rest of the class still done.
      {{"report", kClass}, "赵敏: the student folder"},
      {{"distribute", kClass, notes}, "failed\t赵敏\tthe student folder"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = Admin(c.args);
    EXPECT_EQ(outcome.status, 1) << c.args[0] << " " << c.args[1];
    EXPECT_NE((outcome.out + outcome.err).find(c.message), std::string::npos)
        << c.args[0] << " " << c.args[1] << ": " << outcome.out << outcome.err;
  }
  EXPECT_FALSE(fs::exists(missingFolder));
  EXPECT_TRUE(fs::exists(fs::path(root) / kClass / "王芳" / "notes.txt"));
}

}  // namespace
}  // namespace orvo
