// The main window's "文件夹打包" button: picking, packing on a worker with progress in Label4, a
// second packing or a quit while one runs, and the failures shown in an error box. The archive's
// format has its own tests beside the writer; these check what the window does with it.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "console/PackFolderAction.h"
#include "console/StatusLine.h"
#include "pack/PackFolder.h"
#include "platform/ByteOrder.h"
#include "tests/console/ConsoleFixture.h"

namespace orvo::testing {
namespace {

namespace fs = std::filesystem;
using Kind = ScriptedDialogs::Kind;

const QString kHint = QStringLiteral("学生虚拟盘目录＝[学生组根目录]\\[班级名称]\\[学生姓名]");
const QString kPacking = QStringLiteral("正在打包文件：");
const QString kFinished = QStringLiteral("打包完成：");

// Lets the window thread handle what the worker posts until `action` has shown its end.
void WaitFor(const console::PackFolderAction& action) {
  while (action.Running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// A packer that waits until the test releases it (or the packing is asked to stop), then packs
// for real.
class HeldPacker {
 public:
  console::PackFolderAction::Packer Packer() {
    return [this](const std::string& folder, pack::PackProgress& progress, std::stop_token stop) {
      {
        std::unique_lock lock(lock_);
        released_.wait(lock, stop, [this] { return free_; });
      }
      return pack::PackFolder(folder, progress, 1);
    };
  }
  void Release() {
    {
      const std::lock_guard guard(lock_);
      free_ = true;
    }
    released_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable_any released_;
  bool free_ = false;
};

class PackButtonTest : public ConsoleTest {
 protected:
  QLabel* Label4() { return Find<QLabel>("Label4"); }
  void WaitForPacking() { WaitFor(window->Packing()); }
  // Starts the console and, through Button10, a packing of MakeTree's folder that `held` holds.
  std::string StartHeldPacking(HeldPacker& held) {
    Start();
    const std::string folder = MakeTree();
    window->Packing().UsePacker(held.Packer());
    dialogs.AnswerFolder(Q(folder));
    window->Button10Click();
    return folder;
  }
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

TEST_F(PackButtonTest, PacksTheChosenFolderBesideIt) {
  Start();
  const std::string folder = MakeTree();
  const std::string archive = folder + ".zip";

  for (int run = 0; run < 2; ++run) {  // the second packing replaces the first archive
    SCOPED_TRACE(run);
    dialogs.Forget();
    dialogs.AnswerFolder(Q(folder));
    window->Button10->click();
    WaitForPacking();

    ASSERT_EQ(dialogs.AllShown().size(), 1u);
    EXPECT_EQ(dialogs.AllShown()[0].kind, Kind::Folder);
    EXPECT_EQ(dialogs.AllShown()[0].text, QStringLiteral("选择要打包的文件夹"));
    EXPECT_EQ(Label4()->text(), kFinished + Q(archive));
    EXPECT_EQ(EntryNames(archive), (std::vector<std::string>{"a.txt", "B/b.txt"}));
  }
}

TEST_F(PackButtonTest, EachFileIsShownBeforeItGoesInThenTheEnd) {
  const std::string folder = MakeTree();
  std::vector<QString> shown;
  console::PackFolderAction action(dialogs,
                                   [&shown](const QString& text) { shown.push_back(text); });
  dialogs.AnswerFolder(Q(folder));
  action.Run();
  WaitFor(action);
  EXPECT_EQ(shown, (std::vector<QString>{kPacking + "a.txt", kPacking + "B/b.txt",
                                         kFinished + Q(folder + ".zip")}));
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
    WaitForPacking();
    if (held >= 0) ::close(held);

    EXPECT_EQ(dialogs.Errors(), std::vector<QString>{QStringLiteral("无法创建文件“") + Q(archive) +
                                                     QStringLiteral("”：") + c.reason});
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
  WaitForPacking();

  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_EQ(dialogs.Errors()[0], QStringLiteral("无法打开文件“") + Q(work / "A/sub/bad") +
                                     QStringLiteral("”：No such file or directory\n"
                                                    "压缩包保留了之前打包的 1 个文件。"));
  EXPECT_EQ(Label4()->text(), QStringLiteral("正在打包文件：sub/bad"));
  EXPECT_EQ(EntryNames(archive), std::vector<std::string>{"a.txt"});
}

TEST_F(PackButtonTest, SecondPackingIsRefusedWhileOneRuns) {
  HeldPacker held;
  const std::string folder = StartHeldPacking(held);
  window->Button10Click();  // the operator clicks again while the first packing is held

  EXPECT_EQ(dialogs.Texts(Kind::Folder).size(), 1u) << "no second folder asked for";
  EXPECT_EQ(dialogs.Infos(), std::vector<QString>{console::PackFolderAction::kBusyText});
  held.Release();
  WaitForPacking();
  EXPECT_TRUE(dialogs.Errors().empty());
  EXPECT_EQ(Label4()->text(), kFinished + Q(folder + ".zip"));

  // Once it has ended, packing is possible again.
  dialogs.AnswerFolder(Q(folder));
  window->Button10Click();
  WaitForPacking();
  EXPECT_EQ(dialogs.Texts(Kind::Folder).size(), 2u);
  EXPECT_EQ(dialogs.Infos().size(), 1u);
}

TEST_F(PackButtonTest, QuitWhilePackingShowsNothingMoreAndLeavesNoHalfArchive) {
  Start();
  const std::string folder = MakeTree();
  dialogs.AnswerFolder(Q(folder));
  bool quit = false;
  // Queued before the packing starts, so "退出" comes while it runs.
  QMetaObject::invokeMethod(
      window.get(),
      [&] {
        window->Button6Click();
        quit = true;
      },
      Qt::QueuedConnection);
  window->Button10Click();
  while (!quit) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  const QString shownAtQuit = Label4()->text();
  QCoreApplication::processEvents();

  EXPECT_FALSE(shownAtQuit.startsWith(kFinished)) << "the packing went on after the quit";
  EXPECT_EQ(Label4()->text(), shownAtQuit) << "shown after the quit";
  EXPECT_TRUE(dialogs.Errors().empty());
  // Either the packing ended before the quit or it was stopped and its archive removed.
  if (fs::exists(folder + ".zip")) {
    EXPECT_EQ(EntryNames(folder + ".zip"), (std::vector<std::string>{"a.txt", "B/b.txt"}));
  }
  Stop();
  QCoreApplication::processEvents();  // nothing may reach the destroyed window
}

TEST_F(PackButtonTest, QuitStopsAHeldPackingAndRemovesItsArchive) {
  HeldPacker held;
  const std::string folder = StartHeldPacking(held);
  window->Button6Click();

  EXPECT_FALSE(window->Packing().Running());
  EXPECT_FALSE(fs::exists(folder + ".zip"));
  QCoreApplication::processEvents();
  EXPECT_EQ(Label4()->text(), kHint);
  EXPECT_EQ(dialogs.AllShown().size(), 1u) << "only the folder picker";
}

TEST_F(PackButtonTest, LongArchivePathIsElidedInTheMiddleWithTheWholePathInTheTooltip) {
  Start();
  window->show();
  QCoreApplication::processEvents();
  const int width = window->width();
  const std::string folder = work / std::string(200, 'f');
  work.Write(std::string(200, 'f') + "/" + std::string(200, 'x') + ".txt", "x");
  const QString whole = kFinished + Q(folder + ".zip");
  dialogs.AnswerFolder(Q(folder));
  window->Button10Click();
  WaitForPacking();
  QCoreApplication::processEvents();

  const QString shown = Label4()->text();
  EXPECT_TRUE(shown.startsWith(kFinished + Q(work.Path().string()).left(5))) << shown.toStdString();
  EXPECT_TRUE(shown.endsWith(QStringLiteral("ffff.zip"))) << "never cut at the end";
  EXPECT_TRUE(shown.contains(QChar(0x2026))) << "elided in the middle";
  EXPECT_LE(Label4()->fontMetrics().horizontalAdvance(shown), Label4()->contentsRect().width());
  EXPECT_EQ(Label4()->toolTip(), whole);
  EXPECT_EQ(window->width(), width) << "the window does not widen";
}

TEST_F(PackButtonTest, HintComesBackAfterAWhileOrAtTheNextPacking) {
  Start();
  window->show();
  const std::string folder = MakeTree();
  console::StatusLine& status = window->Status();
  EXPECT_EQ(status.Hint(), kHint);
  for (const bool waited : {true, false}) {
    SCOPED_TRACE(waited ? "timer" : "next packing");
    dialogs.AnswerFolder(Q(folder));
    window->Button10Click();
    WaitForPacking();
    EXPECT_EQ(Label4()->text(), kFinished + Q(folder + ".zip"));
    ASSERT_TRUE(status.HintTimer()->isActive());
    EXPECT_EQ(status.HintTimer()->interval(), console::StatusLine::kHintBackMs);
    if (waited) {
      status.ShowHint();  // as the timer does when it fires
    } else {
      dialogs.AnswerFolder(std::nullopt);
      window->Button10Click();
    }
    EXPECT_EQ(Label4()->text(), kHint);
    EXPECT_TRUE(Label4()->toolTip().isEmpty());
    EXPECT_FALSE(status.HintTimer()->isActive());
  }
}

TEST_F(PackButtonTest, PickerOpensInTheStudentsRootFolder) {
  Sql("insert into Setting values ('/srv/学生', '/srv/资源', 0, 1, 0);");
  Start();
  dialogs.AnswerFolder(std::nullopt);
  window->Button10Click();
  EXPECT_EQ(dialogs.PickerStarts(), std::vector<QString>{QStringLiteral("/srv/学生")});
}

TEST(PackErrorText, NamesTheFileInChineseAndSaysWhatBecameOfABegunArchive) {
  using pack::PackError;
  const QString kept = QStringLiteral("\n压缩包保留了之前打包的 ");
  struct Case {
    PackError kind;
    std::string path;
    bool archiveKept;
    std::size_t entries;
    QString expected;
  };
  const Case cases[] = {
      {PackError::OpenFile, "/w/A/x", true, 1,
       QStringLiteral("无法打开文件“/w/A/x”：原因") + kept + QStringLiteral("1 个文件。")},
      {PackError::ReadFile, "/w/A/x", true, 2,
       QStringLiteral("无法读取文件“/w/A/x”：原因") + kept + QStringLiteral("2 个文件。")},
      {PackError::OpenFile, "/w/A/x", true, 0,
       QStringLiteral("无法打开文件“/w/A/x”：原因") + kept + QStringLiteral("0 个文件。")},
      {PackError::OpenFile, "/w/A/x", false, 0,
       QStringLiteral("无法打开文件“/w/A/x”：原因\n压缩包已删除。")},
      // The folder itself: no archive was begun.
      {PackError::OpenFile, "/w/A", false, 0, QStringLiteral("无法打开文件“/w/A”：原因")},
      {PackError::CreateArchive, "/w/A.zip", false, 0,
       QStringLiteral("无法创建文件“/w/A.zip”：原因")},
      {PackError::WriteArchive, "/w/A.zip", true, 3,
       QStringLiteral("无法写入文件“/w/A.zip”：原因") + kept + QStringLiteral("3 个文件。")},
      {PackError::WriteArchive, "/w/A.zip", false, 0,
       QStringLiteral("无法写入文件“/w/A.zip”：原因\n压缩包已删除。")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    SCOPED_TRACE(c.path);
    pack::PackResult result;
    result.archivePath = "/w/A.zip";
    result.errorKind = c.kind;
    result.archiveKept = c.archiveKept;
    result.entries = c.entries;
    result.errorPath = c.path;
    result.errorReason = "原因";
    result.error = "Cannot do it \"" + c.path + "\". Because";
    EXPECT_EQ(console::PackErrorText(result), c.expected);
  }
}

}  // namespace
}  // namespace orvo::testing
