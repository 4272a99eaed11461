// The hand-in window ("作业情况"): the class and start it opens with, the report's rows and their
// sorting, the CSV export, collecting and handing out on a worker (held, refused, stopped, closed)
// and what each end tells the teacher. The class work itself has its own tests beside the
// library; most tests here put fakes in its place, the real ones run over a class on disk.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <thread>

#include "classwork/CollectWork.h"
#include "classwork/LocalTime.h"
#include "console/ClassWorkTexts.h"
#include "console/ReportUnit.h"
#include "platform/FindData.h"
#include "tests/console/ConsoleFixture.h"

namespace orvo::testing {
namespace {

namespace fs = std::filesystem;
using Kind = ScriptedDialogs::Kind;
using classwork::ClassReport;
using classwork::StudentFolder;

// Monday 2026-12-07 08:20, in the first lesson of 二班 (08:00 to 08:45).
const platform::LocalDateTime kNow{2026, 12, 7, 8, 20, 0, 0, 1};

uint64_t FileTime(const char* local) {
  return classwork::LocalToFileTime(*classwork::ParseLocalMinute(local));
}

// Work that waits for the test's release, or for a stop asked through its progress.
class Gate {
 public:
  // Returns whether it was released (false: stopped).
  bool Wait(classwork::WorkProgress& progress) {
    std::unique_lock lock(lock_);
    while (!open_) {
      if (progress.StopRequested()) return false;
      // The stop is asked through the progress, which has nothing to wait on.
      changed_.wait_for(lock, std::chrono::milliseconds(5));
    }
    return true;
  }
  void Open() {
    {
      const std::lock_guard guard(lock_);
      open_ = true;
    }
    changed_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool open_ = false;
};

class ReportWindowTest : public ConsoleTest {
 protected:
  ReportWindowTest() {
    root = dir.Path() / "students";
    Sql("insert into Setting values ('" + root.string() + "', '" +
        (dir.Path() / "public").string() +
        "', 0, 1, 0);"
        "insert into Groups values ('二班'); insert into Groups values ('一班');"
        "insert into TimeTable (Week, BeginTime, EndTime, GroupName) values "
        "(1, '08:00', '08:45', '二班'), (1, '10:00', '10:45', '一班'), "
        "(3, '08:10', '08:50', '二班');" +
        Student("二班", "张三") + Student("二班", "李四") + Student("二班", "王五") +
        Student("一班", "赵六"));
    clock.SetNow(kNow);
  }

  static std::string Student(const std::string& group, const std::string& name) {
    return "insert into Users (UserId, UserName, PassWord, GroupName) values ('" + name + "', '" +
           name + "', '907183', '" + group + "');";
  }

  // The console started and the window opened through its link, its first report read.
  console::TReportForm& Open() {
    Start();
    window->Label11Click();
    Wait();
    return *report;
  }
  // Lets the window thread show what the worker posts until the work has ended.
  void Wait() {
    while (report->Working()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }

  // A report from a table of work per student name: files, bytes, newest; the rest have none.
  static console::ClassWork FakeReport(std::map<std::string, std::array<uint64_t, 3>> work) {
    console::ClassWork fake = console::LibraryClassWork();
    fake.report = [work](const std::string& className, const std::vector<StudentFolder>& students,
                         std::optional<uint64_t> since, classwork::WorkProgress&) {
      ClassReport report{className, since, {}, false};
      for (const StudentFolder& student : students) {
        classwork::StudentWork one;
        one.student = student;
        if (const auto found = work.find(student.name); found != work.end()) {
          one.files = found->second[0];
          one.bytes = found->second[1];
          one.newest = found->second[2];
        }
        report.students.push_back(one);
      }
      return report;
    };
    return fake;
  }
  static console::ClassWork HandedInByTwo() {
    return FakeReport({{"张三", {3, 900, FileTime("2026-12-07 08:15")}},
                       {"李四", {1, 10000, FileTime("2026-12-07 08:05")}}});
  }

  std::vector<QString> Column(int column) {
    std::vector<QString> texts;
    for (int r = 0; r < report->ListView1->rowCount(); ++r)
      texts.push_back(report->ListView1->item(r, column)->text());
    return texts;
  }
  QString Documents(const QString& name) {
    return QDir::toNativeSeparators(
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(name));
  }
  QString Q(const std::string& text) { return QString::fromStdString(text); }

  fs::path root;
};

TEST_F(ReportWindowTest, OpensOnTheLessonsClassFromTheStartOfTheLesson) {
  console::TReportForm& form = Open();
  EXPECT_TRUE(form.isVisible());
  QStringList classes;
  for (int i = 0; i < form.ComboBox1->count(); ++i) classes.append(form.ComboBox1->itemText(i));
  EXPECT_EQ(classes, (QStringList{QStringLiteral("二班"), QStringLiteral("一班")}))
      << "the console's name order (pinyin: er before yi)";
  EXPECT_EQ(form.ComboBox1->currentText(), QStringLiteral("二班"));
  EXPECT_EQ(form.Edit1->text(), QStringLiteral("2026-12-07 08:00"));

  // The timetable window's weekday counts: on a day taken as Wednesday the lesson began at 08:10.
  service->Db()->SetCurrWeekTemp(3);
  form.ComboBox1Change();
  Wait();
  EXPECT_EQ(form.Edit1->text(), QStringLiteral("2026-12-07 08:10"));
  // A class without a lesson today so far: the start of the day.
  form.ComboBox1->setCurrentIndex(1);
  form.ComboBox1Change();
  Wait();
  EXPECT_EQ(form.Edit1->text(), QStringLiteral("2026-12-07 00:00"));
  EXPECT_TRUE(dialogs.AllShown().empty());
}

TEST_F(ReportWindowTest, RowsAndSummaryShowTheReportWithStudentsWithoutWorkStandingOut) {
  Start();
  report->Control().UseWork(HandedInByTwo());
  window->Label11Click();
  Wait();

  EXPECT_EQ(Column(0), (std::vector<QString>{"李四", "王五", "张三"})) << "pinyin order";
  EXPECT_EQ(Column(1), (std::vector<QString>{"1", "0", "3"}));
  EXPECT_EQ(Column(2), (std::vector<QString>{"10000", "0", "900"}));
  EXPECT_EQ(Column(3), (std::vector<QString>{"2026-12-07 08:05:00", "", "2026-12-07 08:15:00"}));
  EXPECT_EQ(Column(4), (std::vector<QString>{"已交", "未交", "已交"}));
  EXPECT_EQ(report->Label3->text(), QStringLiteral("已交 2 人，未交 1 人"));
  const QTableWidgetItem* missing = report->ListView1->item(1, 4);
  EXPECT_TRUE(missing->font().bold());
  EXPECT_NE(missing->foreground().color(), report->ListView1->item(0, 4)->foreground().color());

  // Numbers sort as numbers, names in the console's order.
  report->ListView1->sortItems(2, Qt::AscendingOrder);
  EXPECT_EQ(Column(2), (std::vector<QString>{"0", "900", "10000"}));
  report->ListView1->sortItems(0, Qt::DescendingOrder);
  EXPECT_EQ(Column(0), (std::vector<QString>{"张三", "王五", "李四"}));
  // A refresh keeps the order chosen.
  report->Button1Click();
  Wait();
  EXPECT_EQ(Column(0), (std::vector<QString>{"张三", "王五", "李四"}));
}

TEST_F(ReportWindowTest, StartThatIsNoTimeIsRefusedAndAllFilesNeedsNone) {
  Start();
  std::vector<std::optional<uint64_t>> asked;
  console::ClassWork work = HandedInByTwo();
  work.report = [&asked, inner = work.report](
                    const std::string& c, const std::vector<StudentFolder>& s,
                    std::optional<uint64_t> since, classwork::WorkProgress& p) {
    asked.push_back(since);
    return inner(c, s, since, p);
  };
  report->Control().UseWork(work);
  window->Label11Click();
  Wait();
  report->Edit1->setText(QStringLiteral("2026-12-07 8:5"));
  report->Button1Click();
  Wait();
  report->Edit1->setText(QStringLiteral("明天"));
  report->Button1Click();
  report->CheckBox1->setChecked(true);
  report->CheckBox1Click();
  Wait();

  EXPECT_EQ(asked, (std::vector<std::optional<uint64_t>>{
                       FileTime("2026-12-07 08:00"), FileTime("2026-12-07 08:05"), std::nullopt}));
  EXPECT_EQ(dialogs.Errors(),
            std::vector<QString>{
                QStringLiteral("开始时间“明天”不是有效的时间，请按“2026-12-11 08:00”的格式输入")});
  EXPECT_FALSE(report->Edit1->isEnabled());
}

TEST_F(ReportWindowTest, CsvExportWritesTheReportBytesAndACancelledPickerWritesNothing) {
  Start();
  report->Control().UseWork(HandedInByTwo());
  window->Label11Click();
  Wait();
  const std::string csv = dir / "out/作业.csv";
  fs::create_directories(dir / "out");

  dialogs.AnswerSaveFile(std::nullopt);
  report->Button2Click();
  EXPECT_FALSE(fs::exists(csv));
  dialogs.AnswerSaveFile(Q(csv));
  report->Button2Click();
  EXPECT_EQ(TempDir::Read(csv), classwork::ReportCsv(*report->Report()));
  EXPECT_EQ(TempDir::Read(csv).substr(0, 3), "\xEF\xBB\xBF");

  const std::vector<QString> prompts = dialogs.Texts(Kind::SaveFile);
  ASSERT_EQ(prompts.size(), 2u);
  EXPECT_EQ(prompts[0], QStringLiteral("导出CSV"));
  EXPECT_EQ(dialogs.AllShown()[0].options.value(0),
            Documents(QStringLiteral("二班-20261207-0820-作业情况.csv")));

  // A folder in the way: the error box names the file, nothing is left behind.
  const std::string blocked = dir / "out/blocked.csv";
  fs::create_directories(blocked);
  dialogs.AnswerSaveFile(Q(blocked));
  report->Button2Click();
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_TRUE(dialogs.Errors()[0].startsWith(QStringLiteral("无法写入文件“") + Q(blocked) + "”"))
      << dialogs.Errors()[0].toStdString();
  EXPECT_TRUE(fs::is_directory(blocked));
}

class CollectTest : public ReportWindowTest {
 protected:
  // A collection that reports what it was asked and answers `result`, after `gate` when given.
  console::ClassWork FakeCollect(classwork::CollectResult result, Gate* gate = nullptr) {
    console::ClassWork work = HandedInByTwo();
    work.collect = [this, result, gate](const classwork::CollectRequest& request,
                                        classwork::WorkProgress& progress) {
      {
        const std::lock_guard guard(lock);
        asked.push_back(request);
      }
      progress.StudentStarted(0, request.students.size(), request.students[0].name);
      if (gate && !gate->Wait(progress)) {
        classwork::CollectResult stopped;
        stopped.archivePath = request.archivePath;
        stopped.failure =
            classwork::Problem{classwork::Fault::kCancelled, request.archivePath, {}, {}};
        return stopped;
      }
      return result;
    };
    return work;
  }
  static classwork::CollectResult Collected(const std::string& archive) {
    classwork::CollectResult result;
    result.archivePath = archive;
    result.complete = result.archiveKept = true;
    result.files = 4;
    result.bytes = 10900;
    result.studentsWithWork = 2;
    result.withoutWork = {"王五"};
    result.skipped = {
        {classwork::Fault::kFileUnreadable, "/s/张三/锁住.docx", "Permission denied", "张三"}};
    return result;
  }
  bool Asked() {
    const std::lock_guard guard(lock);
    return !asked.empty();
  }

  std::mutex lock;
  std::vector<classwork::CollectRequest> asked;
};

TEST_F(CollectTest, AsksWhereWithTheDefaultNameInTheDocumentsFolderAndShowsTheEnd) {
  Start();
  const std::string archive = dir / "二班.zip";
  report->Control().UseWork(FakeCollect(Collected(archive)));
  window->Label11Click();
  Wait();

  dialogs.AnswerSaveFile(std::nullopt);
  report->Button3Click();
  EXPECT_FALSE(report->Working()) << "nothing starts without a place";
  dialogs.AnswerSaveFile(Q(archive));
  report->Button3Click();
  Wait();

  const auto& shown = dialogs.AllShown();
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[0].kind, Kind::SaveFile);
  EXPECT_EQ(shown[0].options.value(0), Documents(QStringLiteral("二班-20261207-0820.zip")));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].className, "二班");
  EXPECT_EQ(asked[0].archivePath, archive);
  EXPECT_EQ(asked[0].since, FileTime("2026-12-07 08:00"));
  EXPECT_EQ(asked[0].students.size(), 3u);
  EXPECT_EQ(dialogs.Infos(),
            std::vector<QString>{QStringLiteral("作业已收取到“") + Q(archive) +
                                 QStringLiteral("”。\n共 2 名学生的 4 个文件（10900 字节）。\n"
                                                "未交 1 人：王五\n"
                                                "以下项目未能收取（清单中也已注明）：\n"
                                                "  张三：无法读取文件“/s/张三/锁住.docx”："
                                                "Permission denied")});
  EXPECT_TRUE(report->Button3->isEnabled());
  EXPECT_FALSE(report->ProgressBar1->isVisible());
}

TEST_F(CollectTest, FailureSaysWhatBecameOfTheArchive) {
  Start();
  classwork::CollectResult failed;
  failed.archivePath = "/w/二班.zip";
  failed.failure = classwork::Problem{
      classwork::Fault::kArchiveWrite, "/w/二班.zip", "No space left on device", {}};
  report->Control().UseWork(FakeCollect(failed));
  window->Label11Click();
  Wait();
  dialogs.AnswerSaveFile(QStringLiteral("/w/二班.zip"));
  report->Button3Click();
  Wait();
  EXPECT_EQ(dialogs.Errors(),
            std::vector<QString>{QStringLiteral(
                "收取作业失败：无法写入压缩包“/w/二班.zip”：No space left on device\n"
                "未完成的压缩包“/w/二班.zip”已删除，没有留下不完整的文件。")});
}

TEST_F(CollectTest, SecondRunIsRefusedWhileOneIsHeld) {
  Start();
  Gate gate;
  const std::string archive = dir / "二班.zip";
  report->Control().UseWork(FakeCollect(Collected(archive), &gate));
  window->Label11Click();
  Wait();
  dialogs.AnswerSaveFile(Q(archive));
  report->Button3Click();
  while (!Asked()) QCoreApplication::processEvents();

  EXPECT_TRUE(report->Working());
  for (QPushButton* button : {report->Button1, report->Button2, report->Button3, report->Button4})
    EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();
  EXPECT_TRUE(report->Button5->isEnabled());
  report->Button3Click();  // asked anyway (a keyboard shortcut, a queued click)
  report->Button4Click();
  report->Button1Click();
  EXPECT_EQ(dialogs.Infos(), std::vector<QString>(3, console::TReportForm::kBusyText));
  EXPECT_EQ(dialogs.Texts(Kind::SaveFile).size(), 1u) << "no second place asked for";

  gate.Open();
  Wait();
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_EQ(dialogs.Infos().size(), 4u);
  EXPECT_TRUE(dialogs.Infos().back().startsWith(QStringLiteral("作业已收取到")));
  EXPECT_TRUE(report->Button3->isEnabled());
  EXPECT_FALSE(report->Button5->isEnabled());
}

TEST_F(CollectTest, ClosingTheWindowEndsTheWorkAndShowsNothingMore) {
  Start();
  Gate gate;
  report->Control().UseWork(FakeCollect(Collected(dir / "x.zip"), &gate));
  window->Label11Click();
  Wait();
  dialogs.AnswerSaveFile(Q(dir / "二班.zip"));
  report->Button3Click();
  while (!Asked()) QCoreApplication::processEvents();
  report->close();

  EXPECT_FALSE(report->Working());
  QCoreApplication::processEvents();
  EXPECT_TRUE(dialogs.Infos().empty());
  EXPECT_TRUE(dialogs.Errors().empty());
  EXPECT_TRUE(report->Button3->isEnabled()) << "ready when it is opened again";
}

// The real report and hand-out over a class on disk.
class ClassOnDiskTest : public ReportWindowTest {
 protected:
  std::string Write(const std::string& student, const std::string& relative,
                    const std::string& content, const char* changed) {
    const std::string path = dir.Write("students/二班/" + student + "/" + relative, content);
    using namespace std::chrono;
    const uint64_t fileTime = FileTime(changed);
    const sys_seconds when{seconds{platform::FileTimeToUnixSeconds(fileTime)}};
    fs::last_write_time(path, file_clock::from_sys(when));
    return path;
  }
};

TEST_F(ClassOnDiskTest, ReportCountsWhatChangedSinceTheLessonBegan) {
  Write("张三", "作业1.txt", "12345", "2026-12-07 08:10");
  Write("张三", "练习/作业2.txt", "123", "2026-12-07 08:15");
  Write("张三", "上周.txt", "old", "2026-11-30 08:10");
  Write("李四", "上周.txt", "old", "2026-11-30 08:10");
  // 王五 has no folder yet.
  Open();

  EXPECT_EQ(Column(0), (std::vector<QString>{"李四", "王五", "张三"}));
  EXPECT_EQ(Column(1), (std::vector<QString>{"0", "0", "2"}));
  EXPECT_EQ(Column(2), (std::vector<QString>{"0", "0", "8"}));
  EXPECT_EQ(Column(3), (std::vector<QString>{"", "", "2026-12-07 08:15:00"}));
  EXPECT_EQ(Column(4)[0], QStringLiteral("未交"));
  EXPECT_TRUE(Column(4)[1].contains(QStringLiteral("不存在"))) << Column(4)[1].toStdString();
  EXPECT_EQ(report->Label3->text(), QStringLiteral("已交 1 人，未交 2 人"));
}

TEST_F(ClassOnDiskTest, CollectsTheClassAndNamesWhoHasNothing) {
  Write("张三", "作业1.txt", "12345", "2026-12-07 08:10");
  Write("张三", "练习/作业2.txt", "123", "2026-12-07 08:15");
  Write("李四", "上周.txt", "old", "2026-11-30 08:10");
  Open();
  const std::string archive = dir / "二班.zip";
  dialogs.AnswerSaveFile(Q(archive));
  report->Button3Click();
  Wait();

  const std::string missing = (root / "二班/王五").string();
  EXPECT_EQ(dialogs.Infos(),
            std::vector<QString>{QStringLiteral("作业已收取到“") + Q(archive) +
                                 QStringLiteral("”。\n共 1 名学生的 2 个文件（8 字节）。\n"
                                                "未交 2 人：李四、王五\n"
                                                "以下项目未能收取（清单中也已注明）：\n"
                                                "  王五：学生文件夹“") +
                                 Q(missing) + QStringLiteral("”不存在")});
  const std::string bytes = TempDir::Read(archive);
  for (const char* entry : {"二班/张三/作业1.txt", "二班/张三/练习/作业2.txt", "二班/清单.csv"})
    EXPECT_NE(bytes.find(entry), std::string::npos) << entry;
  EXPECT_EQ(bytes.find("上周.txt"), std::string::npos);
}

TEST_F(ClassOnDiskTest, StopEndsTheCollectionRemovesItsArchiveAndLeavesTheStudentsFilesAlone) {
  const std::string work = Write("张三", "作业1.txt", "我的作业", "2026-12-07 08:10");
  Write("张三", "作业2.txt", "还有一份", "2026-12-07 08:11");
  Open();
  // The real collection, held at its first file until the operator stops it.
  Gate gate;
  std::atomic<bool> held = false;
  console::ClassWork real = console::LibraryClassWork();
  real.collect = [&gate, &held](const classwork::CollectRequest& request,
                                classwork::WorkProgress& progress) {
    struct HoldAtFirstFile final : classwork::WorkProgress {
      HoldAtFirstFile(classwork::WorkProgress& inner, Gate& gate, std::atomic<bool>& held)
          : inner(inner), gate(gate), held(held) {}
      void FileStarted(const std::string&) override {
        if (!held.exchange(true)) gate.Wait(inner);
      }
      bool StopRequested() override { return inner.StopRequested(); }
      classwork::WorkProgress& inner;
      Gate& gate;
      std::atomic<bool>& held;
    } holding(progress, gate, held);
    return classwork::CollectWork(request, holding);
  };
  report->Control().UseWork(real);
  const std::string archive = dir / "二班.zip";
  dialogs.AnswerSaveFile(Q(archive));
  report->Button3Click();
  while (!held) QCoreApplication::processEvents();
  report->Button5Click();
  Wait();

  EXPECT_EQ(dialogs.Infos(),
            std::vector<QString>{QStringLiteral("收取已停止。\n未完成的压缩包“") + Q(archive) +
                                 QStringLiteral("”已删除，没有留下不完整的文件。")});
  EXPECT_FALSE(fs::exists(archive));
  EXPECT_EQ(TempDir::Read(work), "我的作业");
  EXPECT_EQ(std::distance(fs::directory_iterator(root / "二班/张三"), fs::directory_iterator()), 2)
      << "nothing added to or taken from the student's folder";
  EXPECT_TRUE(report->Button3->isEnabled());
}

TEST_F(ClassOnDiskTest, HandOutAsksThenCopiesSkippingAStudentWhoHasTheName) {
  const std::string sheet = dir.Write("public/练习单.txt", "新的练习");
  Write("李四", "练习单.txt", "李四自己的", "2026-12-07 08:10");
  fs::create_directories(root / "二班/张三");
  fs::create_directories(root / "二班/王五");
  Open();
  const auto handOut = [&](bool confirmed) {
    dialogs.AnswerChoice(0);
    dialogs.AnswerOpenFile(Q(sheet));
    dialogs.AnswerInput(QString());
    dialogs.AnswerConfirm(confirmed);
    report->Button4Click();
    Wait();
  };

  handOut(false);
  EXPECT_EQ(dialogs.Texts(Kind::Confirm),
            std::vector<QString>{QStringLiteral(
                "将“练习单.txt”分发给 二班 的 3 名学生？已有同名文件的学生将跳过。")});
  EXPECT_EQ(dialogs.AllShown()[1].options.value(0), Q(dir / "public"))
      << "opens at the public folder";
  EXPECT_FALSE(fs::exists(root / "二班/张三/练习单.txt")) << "cancelled: nothing copied";
  EXPECT_TRUE(dialogs.Infos().empty());

  handOut(true);
  EXPECT_EQ(TempDir::Read(root / "二班/张三/练习单.txt"), "新的练习");
  EXPECT_EQ(TempDir::Read(root / "二班/王五/练习单.txt"), "新的练习");
  EXPECT_EQ(TempDir::Read(root / "二班/李四/练习单.txt"), "李四自己的");
  EXPECT_EQ(dialogs.Infos(),
            std::vector<QString>{QStringLiteral("已复制给 2 名学生，跳过 1 名，失败 0 名。\n"
                                                "李四：跳过，已有同名的“") +
                                 Q(root / "二班/李四/练习单.txt") +
                                 QStringLiteral("”，未覆盖\n王五：已复制\n张三：已复制")});
}

TEST_F(ClassOnDiskTest, HandOutIntoASubfolderThatIsNoneIsRefusedBeforeAnyCopy) {
  const std::string sheet = dir.Write("public/练习单.txt", "新的练习");
  Open();
  dialogs.AnswerChoice(0);
  dialogs.AnswerOpenFile(Q(sheet));
  dialogs.AnswerInput(QStringLiteral("../别人"));
  dialogs.AnswerConfirm(true);
  report->Button4Click();
  Wait();
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_TRUE(dialogs.Errors()[0].startsWith(QStringLiteral("没有分发任何文件：“../别人”")))
      << dialogs.Errors()[0].toStdString();
  EXPECT_FALSE(fs::exists(root / "二班"));
}

TEST_F(ReportWindowTest, ALongHandOutResultOpensInADialogThatScrolls) {
  Start();
  console::ClassWork work = HandedInByTwo();
  work.handOut = [](const classwork::HandOutRequest&, classwork::WorkProgress&) {
    classwork::HandOutResult result;
    for (int i = 0; i < 20; ++i) {
      classwork::StudentHandOut out;
      out.student.name = "学生" + std::to_string(i);
      out.outcome = classwork::StudentHandOut::Outcome::kCopied;
      result.students.push_back(out);
    }
    result.copied = 20;
    return result;
  };
  report->Control().UseWork(work);
  window->Label11Click();
  Wait();
  QString shown;
  dialogs.AnswerChoice(1);
  dialogs.AnswerFolder(QStringLiteral("/srv/资源/第三单元"));
  dialogs.AnswerInput(QStringLiteral(" 练习 "));
  dialogs.AnswerConfirm(true);
  dialogs.AnswerModal([&shown](QDialog& dialog) {
    shown = dialog.findChild<QPlainTextEdit*>(QStringLiteral("ResultText"))->toPlainText();
    return true;
  });
  report->Button4Click();
  Wait();

  EXPECT_EQ(dialogs.Texts(Kind::Confirm),
            std::vector<QString>{QStringLiteral("将“第三单元”分发给 二班 的 3 名学生？"
                                                "文件将放入各学生文件夹中的“练习”文件夹。"
                                                "已有同名文件的学生将跳过。")});
  EXPECT_TRUE(shown.startsWith(
      QStringLiteral("已复制给 20 名学生，跳过 0 名，失败 0 名。\n学生0：已复制")));
  EXPECT_TRUE(shown.endsWith(QStringLiteral("学生19：已复制")));
  EXPECT_TRUE(dialogs.Infos().empty());
}

TEST(HandOutResultText, LongResultsListEveryStudent) {
  classwork::HandOutResult result;
  for (int i = 0; i < 3; ++i) {
    classwork::StudentHandOut out;
    out.student.name = "学生" + std::to_string(i);
    out.outcome = i == 0 ? classwork::StudentHandOut::Outcome::kFailed
                         : classwork::StudentHandOut::Outcome::kCopied;
    if (i == 0)
      out.problem = classwork::Problem{classwork::Fault::kCopyFailed, "/s/x", "Disk full", {}};
    result.students.push_back(out);
  }
  result.copied = 2;
  result.failed = 1;
  result.failure = classwork::Problem{classwork::Fault::kCancelled, {}, {}, {}};
  EXPECT_EQ(console::HandOutResultText(result),
            QStringLiteral(
                "分发已停止，只处理了前 3 名学生。\n已复制给 2 名学生，跳过 0 名，失败 1 名。\n"
                "学生0：失败，无法写入“/s/x”：Disk full\n学生1：已复制\n学生2：已复制"));
}

}  // namespace
}  // namespace orvo::testing
