// orvo-server: the operator console. It serves the database in DIR (default: the program's own
// folder) on the service port and keeps running in the notification area until "退出".
#include <CLI/CLI.hpp>
#include <QApplication>
#include <QSystemTrayIcon>
#include <string>

#include "console/AddUserUnit.h"
#include "console/DatabaseSetup.h"
#include "console/LogUnit.h"
#include "console/MoneyUnit.h"
#include "console/OnlineUnit.h"
#include "console/QtDialogs.h"
#include "console/TimeTableUnit.h"
#include "console/main.h"
#include "net/OrvoServer.h"
#include "platform/CommandLine.h"
#include "platform/FileSystem.h"
#include "platform/ProcessSignals.h"
#include "service/OrvoService.h"

int main(int argc, char** argv) {
  orvo::platform::CommandLineArguments arguments(argc, argv);
  orvo::platform::UseUtf8Output();
  // Qt takes its own options (-platform, ...) out of the arguments first; the rest are ours. Qt
  // keeps using them, so `arguments` outlives `app`.
  int count = arguments.Count();
  QApplication app(count, arguments.Values());
  CLI::App cli{"Orvo campus file service with its operator console"};
  std::string directory;
  cli.add_option("--dir", directory,
                 "folder that holds orvoDisk.db (default: the program's folder)");
  CLI11_PARSE(cli, count, arguments.Values());
  orvo::platform::IgnoreBrokenPipeSignals();
  if (directory.empty()) directory = orvo::platform::ExecutableDir();

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
  mainFrm.AttachWindows(&addUserFrm, &timeTableFrm, &logFrm, &moneyFrm, &onlineFrm);
  // exit, not quit: quit would first ask every window to close again.
  mainFrm.SetOnClosed([] { QCoreApplication::exit(0); });

  mainFrm.show();
  return QApplication::exec();
}
