// The main window's "文件夹打包" button: picking, packing with progress in Label4 while the window
// keeps handling events, and the failures shown in an error box. The archive's format has its own
// tests beside the writer; these check what the window does with it.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "platform/ByteOrder.h"
#include "tests/console/ConsoleFixture.h"

namespace orvo::testing {
namespace {

namespace fs = std::filesystem;
using Kind = ScriptedDialogs::Kind;

const QString kHint = QStringLiteral("学生虚拟盘目录＝[学生组根目录]\\[班级名称]\\[学生姓名]");

class PackButtonTest : public ConsoleTest {
 protected:
  QLabel* Label4() { return Find<QLabel>("Label4"); }
  QString Q(const std::string& text) { return QString::fromStdString(text); }

  // A holds a.txt and the subfolder B with b.txt.
  std::string MakeTree() {
    work.Write("A/a.txt", "alpha alpha alpha");
    work.Write("A/B/b.txt", "beta");
    return work / "A";
  }
  // The entry names of the central directory, in order.
  static std::vector<std::string> EntryNames(const std::string& archive) {
    const std::string bytes = TempDir::Read(archive);
    std::vector<std::string> names;
    for (std::size_t at = bytes.find("PK\x01\x02"); at != std::string::npos;
         at = bytes.find("PK\x01\x02", at + 4)) {
      if (at + 46 > bytes.size()) break;
      const std::size_t length = platform::LoadLe16(bytes, at + 28);
      names.push_back(bytes.substr(at + 46, length));
    }
    return names;
  }

  TempDir work;
};

TEST_F(PackButtonTest, PacksTheChosenFolderBesideItShowingEachFile) {
  Start();
  const std::string folder = MakeTree();
  const std::string archive = folder + ".zip";

  for (int run = 0; run < 2; ++run) {  // the second packing replaces the first archive
    SCOPED_TRACE(run);
    dialogs.Forget();
    dialogs.AnswerFolder(Q(folder));
    // Runs from the events the packing lets through before its first file.
    QString shownWhilePacking;
    QTimer::singleShot(0, window.get(), [&] { shownWhilePacking = Label4()->text(); });
    window->Button10->click();

    ASSERT_EQ(dialogs.AllShown().size(), 1u);
    EXPECT_EQ(dialogs.AllShown()[0].kind, Kind::Folder);
    EXPECT_EQ(dialogs.AllShown()[0].text, QStringLiteral("选择要打包的文件夹"));
    EXPECT_EQ(shownWhilePacking, QStringLiteral("正在打包文件：a.txt"));
    EXPECT_EQ(Label4()->text(), QStringLiteral("打包完成：") + Q(archive));
    EXPECT_EQ(EntryNames(archive), (std::vector<std::string>{"a.txt", "B/b.txt"}));
  }
}

TEST_F(PackButtonTest, CancelledPickerLeavesEverythingAsItWas) {
  Start();
  MakeTree();
  dialogs.AnswerFolder(std::nullopt);
  window->Button10Click();
  EXPECT_EQ(Label4()->text(), kHint);
  EXPECT_TRUE(dialogs.Errors().empty());
  EXPECT_FALSE(fs::exists(work / "A.zip"));
}

TEST_F(PackButtonTest, ArchiveThatCannotBeCreatedIsReportedBeforeAnyFile) {
  Start();
  const std::string folder = MakeTree();
  const std::string archive = folder + ".zip";
  struct Case {
    const char* name;
    std::function<int()> block;  // makes the archive path unusable; a descriptor to close or -1
    const char* reason;
  };
  const Case cases[] = {
      {"a folder of that name",
       [&] {
         fs::create_directory(archive);
         return -1;
       },
       "Is a directory"},
      // Tests run as root, whom permissions do not stop; a lock held elsewhere does.
      {"an archive another program holds",
       [&] {
         work.Write("A.zip", "old archive");
         const int fd = ::open(archive.c_str(), O_RDWR | O_CLOEXEC);
         EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
         return fd;
       },
       "The file is being used by another process"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(archive);
    const int held = c.block();
    dialogs.Forget();
    dialogs.AnswerFolder(Q(folder));
    window->Button10Click();
    if (held >= 0) ::close(held);

    EXPECT_EQ(dialogs.Errors(), std::vector<QString>{QStringLiteral("Cannot create file \"") +
                                                     Q(archive) + "\". " + c.reason});
    EXPECT_EQ(Label4()->text(), kHint) << "no file was packed";
  }
  EXPECT_EQ(TempDir::Read(archive), "old archive") << "a held archive stays as it was";
}

TEST_F(PackButtonTest, FileThatCannotBeOpenedEndsThePackingAndSaysWhatWasKept) {
  Start();
  work.Write("A/a.txt", "alpha");
  work.Write("A/sub/zz/after.txt", "never packed");
  // Root opens any file whatever its permissions; a link to nothing cannot be opened by anyone.
  fs::create_symlink("no-such-target", work / "A/sub/bad");
  const std::string archive = work / "A.zip";
  dialogs.AnswerFolder(Q(work / "A"));
  window->Button10Click();

  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_EQ(dialogs.Errors()[0], QStringLiteral("Cannot open file \"") + Q(work / "A/sub/bad") +
                                     "\". No such file or directory\nThe archive \"" + Q(archive) +
                                     "\" was finished with the 1 file packed before.");
  EXPECT_EQ(Label4()->text(), QStringLiteral("正在打包文件：sub/bad"));
  EXPECT_EQ(EntryNames(archive), std::vector<std::string>{"a.txt"});
}

TEST_F(PackButtonTest, SecondPackingIsRefusedWhileOneRuns) {
  Start();
  const std::string folder = MakeTree();
  dialogs.AnswerFolder(Q(folder));
  // The operator clicks the button again while the first packing lets events through.
  QTimer::singleShot(0, window.get(), [this] { window->Button10Click(); });
  window->Button10Click();

  EXPECT_EQ(dialogs.Texts(Kind::Folder).size(), 1u) << "no second folder asked for";
  ASSERT_EQ(dialogs.Infos().size(), 1u);
  EXPECT_FALSE(dialogs.Infos()[0].isEmpty());
  EXPECT_TRUE(dialogs.Errors().empty());
  EXPECT_EQ(Label4()->text(), QStringLiteral("打包完成：") + Q(folder + ".zip"));

  // Once it has ended, packing is possible again.
  dialogs.AnswerFolder(Q(folder));
  window->Button10Click();
  EXPECT_EQ(dialogs.Texts(Kind::Folder).size(), 2u);
  EXPECT_EQ(dialogs.Infos().size(), 1u);
}

TEST_F(PackButtonTest, LongPathsInTheProgressDoNotWidenTheWindow) {
  Start();
  window->show();
  QCoreApplication::processEvents();
  const int width = window->width();
  const std::string folder = work / std::string(200, 'f');
  work.Write(std::string(200, 'f') + "/" + std::string(200, 'x') + ".txt", "x");
  dialogs.AnswerFolder(Q(folder));
  window->Button10Click();
  QCoreApplication::processEvents();
  EXPECT_EQ(Label4()->text(), QStringLiteral("打包完成：") + Q(folder + ".zip"));
  EXPECT_EQ(window->width(), width);
}

}  // namespace
}  // namespace orvo::testing
