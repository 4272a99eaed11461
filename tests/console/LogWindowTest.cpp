// The log window: a snapshot of the system log taken when it is shown or refreshed, and clearing
// the log from it, with the lines coming from real requests to the running service.
#include <QListWidget>
#include <QPushButton>

#include "core/SysStringS.h"
#include "net/OrvoClient.h"
#include "tests/console/ConsoleFixture.h"

namespace orvo::testing {
namespace {

class LogWindowTest : public ConsoleTest {
 protected:
  net::OrvoClient Client() {
    net::OrvoClient client("127.0.0.1", service->Port());
    client.SetTimeout(10000);
    return client;
  }
  std::vector<QString> Items() {
    std::vector<QString> items;
    for (int i = 0; i < log->LogList->count(); ++i) items.push_back(log->LogList->item(i)->text());
    return items;
  }
};

TEST_F(LogWindowTest, ControlsCarryTheirCaptions) {
  Start();
  EXPECT_EQ(log->windowTitle(), QStringLiteral("查看日志"));
  EXPECT_EQ(log->Button1->text(), QStringLiteral("清除日志"));
  EXPECT_EQ(log->Button2->text(), QStringLiteral("刷新"));
  EXPECT_EQ(log->findChild<QListWidget*>(QStringLiteral("LogList")), log->LogList);
}

TEST_F(LogWindowTest, ShowsASnapshotThatOnlyRefreshingRenews) {
  Start();
  log->ShowSysLog();
  EXPECT_TRUE(log->isVisible());
  EXPECT_TRUE(Items().empty()) << "an empty log gives an empty list";

  Client().Login("一班", "s01", "secret");
  SysLog().Add("第二行");
  window->Label8Click();  // the link again, with the window open: refreshed
  ASSERT_EQ(Items().size(), 2u);
  EXPECT_TRUE(Items()[0].startsWith(QStringLiteral("LOGIN"))) << Items()[0].toStdString();
  EXPECT_TRUE(Items()[0].contains(QStringLiteral("一班"))) << Items()[0].toStdString();
  EXPECT_FALSE(Items()[0].contains(QStringLiteral("secret"))) << "passwords never reach the log";
  EXPECT_EQ(Items()[1], QStringLiteral("第二行"));

  SysLog().Add("third");
  EXPECT_EQ(Items().size(), 2u) << "the window never updates by itself";
  log->Button2Click();
  EXPECT_EQ(Items().size(), 3u);
  EXPECT_EQ(Items()[2], QStringLiteral("third"));
}

TEST_F(LogWindowTest, ClearingEmptiesTheWindowAndTheLogClientsRead) {
  Start();
  SysLog().Add("one");
  SysLog().Add("two");
  log->ShowSysLog();
  ASSERT_EQ(Items().size(), 2u);

  log->Button1Click();
  EXPECT_TRUE(Items().empty());
  EXPECT_EQ(SysLog().Count(), 0u);
  // Every request line is logged before it runs, so a client now reads only its own request.
  EXPECT_EQ(Client().SysLog(), std::vector<std::string>{"GETSYSLOG"});
}

}  // namespace
}  // namespace orvo::testing
