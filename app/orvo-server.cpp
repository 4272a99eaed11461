// orvo-server: the operator console. It serves the database in DIR (default: the program's own
// folder) on the service port and keeps running in the notification area until "退出".
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "app/VersionFlag.h"
#include "console/AddUserUnit.h"
#include "console/DatabaseSetup.h"
#include "console/LogUnit.h"
#include "console/MoneyUnit.h"
#include "console/OnlineUnit.h"
#include "console/QtDialogs.h"
#include "console/ReportUnit.h"
#include "console/TimeTableUnit.h"
#include "console/main.h"
#include "net/OrvoServer.h"
#include "platform/Clock.h"
#include "platform/CommandLine.h"
#include "platform/DefaultFolder.h"
#include "platform/FileSystem.h"
#include "platform/ProcessSignals.h"
#include "platform/Utf8Path.h"
#include "service/OrvoService.h"
#include "store/OrvoDiskDbUnit.h"

namespace {

// The console's own options. With `forQt` the options Qt takes (-platform, ...) pass as extras:
// that first reading happens before Qt starts, so that --help needs no display.
std::unique_ptr<CLI::App> ConsoleOptions(std::string& directory, bool forQt) {
  auto cli = std::make_unique<CLI::App>("Orvo campus file service with its operator console");
  orvo::app::AddVersionFlag(*cli, "orvo-server");
  cli->add_option(
      "--dir", directory,
      "folder that holds orvoDisk.db (default: the program's folder; for a program installed "
      "below /usr, ~/.local/share/orvo)");
  cli->allow_extras(forQt);
  return cli;
}

#ifndef _WIN32
// Whether Qt has somewhere to show the windows: an X or Wayland display, or a platform named in
// the environment or on the command line. Without one Qt would abort the program.
bool DisplayAvailable(int argc, char** argv) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-platform" || argument.starts_with("-platform=")) return true;
  }
  return false;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  orvo::platform::CommandLineArguments arguments(argc, argv);
  orvo::platform::UseUtf8Output();
  std::string directory;
  {
    const auto early = ConsoleOptions(directory, true);
    CLI11_PARSE(*early, arguments.Count(), arguments.Values());
  }
#ifndef _WIN32
  if (!DisplayAvailable(arguments.Count(), arguments.Values())) {
    std::fprintf(stderr,
                 "orvo-server: no graphical display (DISPLAY is not set); the console needs one. "
                 "orvo-serverd runs the service without a display.\n");
    return 1;
  }
#endif
  // Qt takes its own options (-platform, ...) out of the arguments first; the rest are ours. Qt
  // keeps using them, so `arguments` outlives `app`.
  int count = arguments.Count();
  QApplication app(count, arguments.Values());
  const auto cli = ConsoleOptions(directory, false);
  CLI11_PARSE(*cli, count, arguments.Values());
  orvo::platform::IgnoreBrokenPipeSignals();
  if (directory.empty()) {
    directory = orvo::platform::DefaultDatabaseFolder(orvo::store::kDatabaseFileName);
  }
  // Absolute, so that the start-at-logon entry (which carries it) finds the same folder.
  std::error_code error;
  const auto absolute = std::filesystem::absolute(orvo::platform::Utf8Path(directory), error);
  if (!error) directory = orvo::platform::PathText(absolute);

  using namespace orvo::console;
  QtDialogs dialogs(TSMainFrm::kTrayHint);
  // A folder without its database: the operator may create one there or choose another.
  directory = OfferDatabase(directory, dialogs);
  orvo::service::OrvoService service(directory, orvo::net::TOrvoServer::kServicePort);
  // Hidden windows and closed side windows must not end the program: only "退出" does.
  QApplication::setQuitOnLastWindowClosed(false);

  // The order matters: the main window's creation starts the service the others read from.
  TSMainFrm mainFrm(service, dialogs, QSystemTrayIcon::isSystemTrayAvailable());
  TAddUserFrm addUserFrm;
  TTimeTableFrm timeTableFrm(service, dialogs);
  TLogFrm logFrm(service.State().sysLog, dialogs);
  TMoneyFrm moneyFrm;
  TOnlineFrm onlineFrm(service, dialogs);
  TReportForm reportFrm(service, dialogs, orvo::platform::SystemClock());
  mainFrm.AttachWindows(&addUserFrm, &timeTableFrm, &logFrm, &moneyFrm, &onlineFrm, &reportFrm);
  // exit, not quit: quit would first ask every window to close again.
  mainFrm.SetOnClosed([] { QCoreApplication::exit(0); });

  mainFrm.show();
  return QApplication::exec();
}
