// Takes the README's pictures of the console: a class of forty from a pasted list, a day's
// lessons, a few students logged in from their PCs, a class's work handed in, then the main,
// timetable, log, online and hand-in windows saved as PNG files in the folder given on the command
// line. The windowless platform renders them, so no display is needed; a CJK font must be installed
// for the captions.
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "classwork/ClassRoster.h"
#include "classwork/LocalTime.h"
#include "console/Dialogs.h"
#include "console/LogUnit.h"
#include "console/OnlineUnit.h"
#include "console/ReportUnit.h"
#include "console/TimeTableUnit.h"
#include "console/main.h"
#include "core/SettingsValues.h"
#include "net/OrvoClient.h"
#include "platform/Clock.h"
#include "platform/FindData.h"
#include "service/OrvoService.h"
#include "store/CreateDatabase.h"
#include "store/OrvoDiskDbUnit.h"

namespace {

namespace fs = std::filesystem;
using namespace orvo;

// No dialog is opened while the pictures are taken; any that is would be answered "no".
class SilentDialogs final : public console::Dialogs {
 public:
  void Error(const QString& message) override {
    std::fprintf(stderr, "error shown: %s\n", message.toStdString().c_str());
  }
  void Info(const QString&) override {}
  QString InputBox(const QString&, const QString&, const QString& defaultText) override {
    return defaultText;
  }
  std::optional<QString> PickFolder(const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> PickOpenFile(const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> PickSaveFile(const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  bool Confirm(const QString&, const QString&) override { return false; }
  int Choose(const QString&, const QString&, const QStringList&) override { return -1; }
  bool RunModal(QDialog&) override { return false; }
};

const char* const kClass = "初二（3）班";

// A class list as a spreadsheet column pastes it.
const std::vector<std::string> kStudents = {
    "陈思远", "李欣怡", "王浩然", "张子涵", "刘雨桐", "杨博文", "赵梓萱", "黄俊杰",
    "周可馨", "吴宇航", "徐诗琪", "孙铭泽", "马嘉怡", "朱天佑", "胡若曦", "郭子轩",
    "何佳琪", "高翔宇", "林语嫣", "罗明哲", "郑雅雯", "梁家豪", "谢婉清", "宋一凡",
    "唐欣然", "许志远", "韩梦瑶", "冯子墨", "邓晓彤", "曹宇辰", "彭浩宇", "曾静怡",
    "萧文博", "田甜",   "董思琪", "袁立诚", "潘悦",   "蒋天宇", "蔡雨萱", "余乐言"};

// The class whose work the hand-in window shows, and what each student handed in during its
// lesson from 08:55 (file name, bytes, minute after 09:00); nothing from three of them.
const char* const kWorkClass = "初二（1）班";
const struct {
  const char* name;
  std::vector<std::tuple<const char*, std::size_t, int>> files;
} kHandedIn[] = {
    {"王子豪", {{"第三单元练习.docx", 48213, 31}, {"草稿.txt", 1204, 12}}},
    {"李思琪", {{"第三单元练习.docx", 51877, 28}}},
    {"张雨涵", {}},
    {"刘浩宇", {{"第三单元练习.docx", 46532, 35}, {"图表.xlsx", 20480, 33}}},
    {"陈佳怡", {{"第三单元练习.docx", 50211, 30}}},
    {"杨俊熙",
     {{"第三单元练习.docx", 39980, 38}, {"截图1.png", 183402, 22}, {"截图2.png", 176255, 24}}},
    {"赵一诺", {}},
    {"黄梓睿", {{"第三单元练习.docx", 47005, 29}}},
    {"周欣妍", {{"第三单元练习.docx", 52340, 26}, {"作文.docx", 18760, 40}}},
    {"吴泽宇", {{"第三单元练习.docx", 44105, 36}}},
    {"徐可欣", {}},
    {"孙宇轩", {{"第三单元练习.docx", 49872, 33}}},
};

// The students of kWorkClass and their files, changed at the minutes the table gives.
void HandIn(store::TOrvoDiskDb& db, const std::string& root) {
  std::vector<std::string> names;
  for (const auto& student : kHandedIn) names.push_back(student.name);
  db.AddUser(names, kWorkClass);
  for (const classwork::StudentFolder& student : classwork::ClassRoster(db, root, kWorkClass)) {
    fs::create_directories(student.folder);
    for (const auto& handedIn : kHandedIn) {
      if (student.name != handedIn.name) continue;
      for (const auto& [file, bytes, minute] : handedIn.files) {
        const fs::path path = fs::path(student.folder) / file;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) throw std::runtime_error("cannot write " + path.string());
        const std::string content(bytes, 'x');
        std::fwrite(content.data(), 1, content.size(), out);
        std::fclose(out);
        const platform::LocalDateTime at{2026, 12, 7, 9, minute, 0, 0, 1};
        using namespace std::chrono;
        const uint64_t fileTime = classwork::LocalToFileTime(at);
        const sys_seconds when{seconds{platform::FileTimeToUnixSeconds(fileTime)}};
        fs::last_write_time(path, file_clock::from_sys(when));
      }
    }
  }
}

void Prepare(const std::string& folder, const std::string& root, const std::string& publicPath,
             const platform::Clock& clock) {
  const std::string path = folder + "/" + store::kDatabaseFileName;
  store::CreateDatabaseFile(path, std::string(store::SchemaSql()));
  core::SettingsValues settings;
  settings.RootPath.Set(root);
  store::TOrvoDiskDb db(path, settings, clock);
  db.SetSetting(root, publicPath, 1, 1, 0);
  for (const char* name : {kClass, "初二（1）班", "初二（2）班", "初三（1）班"}) db.AddGroup(name);
  std::vector<std::string> names = kStudents;
  db.AddUser(names, kClass);
  const struct {
    const char* week;
    const char* begin;
    const char* end;
    const char* group;
  } kLessons[] = {
      {"1", "08:00", "08:45", kClass},
      {"1", "08:55", "09:40", "初二（1）班"},
      {"1", "10:00", "10:45", "初二（2）班"},
      {"1", "14:00", "14:45", "初三（1）班"},
      {"3", "08:00", "08:45", "初二（2）班"},
      {"3", "10:00", "11:30", kClass},
      {"5", "14:00", "15:30", "初二（1）班、初二（2）班"},
  };
  for (const auto& lesson : kLessons)
    db.AddTimeTable(lesson.week, lesson.begin, lesson.end, lesson.group);
  HandIn(db, root);
}

// A few students at work from their own PCs (127.0.0.2, ...), as the log and the online list
// show them.
void StudentsAtWork(uint16_t port) {
  for (int i = 0; i < 6; ++i) {
    net::OrvoClient client("127.0.0.1", port);
    client.SetTimeout(5000);
    client.SetSource("127.0.0." + std::to_string(i + 2));
    client.Login(kClass, kStudents[static_cast<std::size_t>(i)], store::kDefaultPassword);
    client.List("*");
    if (i % 2 == 0) client.PutBytes("第一单元练习\r\n", "练习1.txt");
  }
}

void Save(QWidget& window, const fs::path& file) {
  window.show();
  QApplication::processEvents();
  if (!window.grab().save(QString::fromStdString(file.string()))) {
    throw std::runtime_error("cannot write " + file.string());
  }
  std::printf("%s\n", file.string().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  try {
    const fs::path out = fs::absolute(argv[1]);
    fs::create_directories(out);
    const fs::path work = fs::temp_directory_path() / "orvo-screenshots";
    fs::remove_all(work);
    fs::create_directories(work / "students");
    fs::create_directories(work / "resources");
    // Monday morning, in the first lesson.
    platform::ManualClock clock;
    clock.SetTickCount(10'000'000);
    clock.SetNow({2026, 12, 7, 8, 20, 0, 0, 1});
    Prepare(work.string(), (work / "students").string(), (work / "resources").string(), clock);

    SilentDialogs dialogs;
    service::OrvoService service(work.string(), 0, clock);
    console::TSMainFrm main(service, dialogs, false);
    console::TTimeTableFrm timeTable(service, dialogs);
    console::TLogFrm log(service.State().sysLog, dialogs);
    console::TOnlineFrm online(service, dialogs);
    console::TReportForm report(service, dialogs, clock);
    main.AttachWindows(nullptr, &timeTable, &log, nullptr, &online, &report);
    main.Timer1->stop();
    StudentsAtWork(service.Port());

    main.ComboBox1->setCurrentIndex(main.ComboBox1->findText(QString::fromUtf8(kClass)));
    main.ComboBox1Change();
    Save(main, out / "console-main.png");
    // Each side window opens through its link, as the teacher opens it.
    main.Label7Click();
    Save(timeTable, out / "console-timetable.png");
    main.Label8Click();
    Save(log, out / "console-log.png");
    main.Label10Click();
    Save(online, out / "console-online.png");
    // After the lesson from 08:55, its class's work, read on the window's worker.
    clock.SetNow({2026, 12, 7, 9, 45, 0, 0, 1});
    clock.AdvanceTicks(60'000);  // the gate reads the timetable again
    main.Label11Click();
    while (report.Working()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    report.ComboBox1->setCurrentIndex(report.ComboBox1->findText(QString::fromUtf8(kWorkClass)));
    report.ComboBox1Change();
    while (report.Working()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Save(report, out / "console-report.png");

    // A first start on a folder without a database, the offer to create one declined.
    const fs::path empty = work / "empty";
    fs::create_directories(empty);
    service::OrvoService none(empty.string(), 0, clock);
    console::TSMainFrm bare(none, dialogs, false);
    bare.Timer1->stop();
    Save(bare, out / "console-no-database.png");
    bare.Button6Click();
    fs::remove_all(work);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "screenshots: %s\n", e.what());
    return 1;
  }
  return 0;
}
