// The log window: the system log shown at its newest line and followed while the window is open,
// each line readable whole, and clearing the log from it, with the lines coming from real requests
// to the running service.
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

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

TEST_F(LogWindowTest, ShowsTheLinesAsReceivedAndRefreshes) {
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
  log->Button2Click();
  EXPECT_EQ(Items().size(), 3u);
  EXPECT_EQ(Items()[2], QStringLiteral("third"));
}

TEST_F(LogWindowTest, OpensAtTheNewestLineAndFollowsUnlessScrolledUp) {
  Start();
  for (int i = 0; i < 200; ++i) SysLog().Add("line " + std::to_string(i));
  window->Label8Click();
  QScrollBar* bar = log->LogList->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0) << "the lines must not fit the window";
  EXPECT_EQ(bar->value(), bar->maximum()) << "opens at the newest line";
  EXPECT_EQ(log->LogDetail->toPlainText(), QStringLiteral("line 199")) << "shown in full";
  EXPECT_TRUE(log->FollowTimer->isActive());

  SysLog().Add("line 200");
  log->FollowLog();  // as FollowTimer does
  EXPECT_EQ(Items().back(), QStringLiteral("line 200"));
  EXPECT_EQ(bar->value(), bar->maximum()) << "follows";
  EXPECT_EQ(log->LogDetail->toPlainText(), QStringLiteral("line 200"));

  // Scrolled up to read: new lines arrive below, the view stays on what is read.
  bar->setValue(10);
  SysLog().Add("line 201");
  log->FollowLog();
  EXPECT_EQ(Items().back(), QStringLiteral("line 201"));
  EXPECT_EQ(bar->value(), 10);
  EXPECT_EQ(log->LogDetail->toPlainText(), QStringLiteral("line 200")) << "nothing jumps";

  // Back at the newest line, following again; a cleared log starts the list afresh.
  bar->setValue(bar->maximum());
  SysLog().Clear();
  SysLog().Add("after clearing");
  log->FollowLog();
  EXPECT_EQ(Items(), std::vector<QString>{QStringLiteral("after clearing")});

  log->hide();
  EXPECT_FALSE(log->FollowTimer->isActive()) << "a hidden window reads nothing";
}

TEST_F(LogWindowTest, LinesTheFullLogDropsLeaveTheListAndTheReadLinesStayInView) {
  Start();
  const std::size_t cap = core::TSysStringS::kMaxLines;
  for (std::size_t i = 0; i < cap; ++i) SysLog().Add("line " + std::to_string(i));
  log->ShowSysLog();
  QScrollBar* bar = log->LogList->verticalScrollBar();
  bar->setValue(100);
  const QString read = log->LogList->item(100)->text();
  for (std::size_t i = cap; i < cap + 5; ++i) SysLog().Add("line " + std::to_string(i));
  log->FollowLog();
  ASSERT_EQ(Items().size(), cap);
  EXPECT_EQ(Items().front(), QStringLiteral("line 5"));
  EXPECT_EQ(Items().back(), QStringLiteral("line 1004"));
  EXPECT_EQ(log->LogList->item(bar->value())->text(), read);
}

TEST_F(LogWindowTest, TheCurrentLineIsShownWholeBelowTheList) {
  Start();
  const std::string longLine = "PUT " + std::string(3000, 'x') + " end";
  SysLog().Add("short");
  SysLog().Add(longLine);
  log->ShowSysLog();
  EXPECT_TRUE(log->LogDetail->isReadOnly());
  log->LogList->setCurrentRow(1);
  EXPECT_EQ(log->LogDetail->toPlainText(), QString::fromStdString(longLine));
  EXPECT_EQ(Items()[1], QString::fromStdString(longLine)) << "the list keeps the line as received";
  log->LogList->setCurrentRow(0);
  EXPECT_EQ(log->LogDetail->toPlainText(), QStringLiteral("short"));
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
