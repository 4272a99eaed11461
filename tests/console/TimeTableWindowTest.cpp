// The timetable window: its controls, the listing order, adding with its checks, deleting, the
// double click, the weekday override, the hidden table-creating button and a missing database.
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "tests/console/ConsoleFixture.h"

namespace orvo::testing {
namespace {

using Kind = ScriptedDialogs::Kind;

class TimeTableWindowTest : public ConsoleTest {
 protected:
  console::TTimeTableFrm& Frm() { return *timeTable; }

  // The list as shown, one "Id|weekday|start|end|class" text per row, top to bottom.
  std::vector<std::string> Listed() {
    std::vector<std::string> rows;
    QTableWidget* list = Frm().ListView1;
    for (int r = 0; r < list->rowCount(); ++r) {
      QString row;
      for (int c = 0; c < list->columnCount(); ++c) {
        if (c > 0) row += '|';
        row += list->item(r, c)->text();
      }
      rows.push_back(row.toStdString());
    }
    return rows;
  }
  // The list without the Id column.
  std::vector<std::string> ListedWithoutIds() {
    std::vector<std::string> rows = Listed();
    for (std::string& row : rows) row.erase(0, row.find('|') + 1);
    return rows;
  }

  // Types a row into the entry fields and clicks "添加项目".
  void Add(int weekday, const QString& begin, const QString& end, const QString& group) {
    Frm().ComboBox1->setCurrentIndex(weekday);
    Frm().Edit1->setText(begin);
    Frm().Edit2->setText(end);
    Frm().Edit3->setText(group);
    Frm().Button2Click();
  }

  int Select(const std::string& rowWithoutId) {
    const std::vector<std::string> rows = ListedWithoutIds();
    const auto at = std::find(rows.begin(), rows.end(), rowWithoutId);
    EXPECT_NE(at, rows.end()) << rowWithoutId;
    const int r = static_cast<int>(at - rows.begin());
    Frm().ListView1->selectRow(r);
    return r;
  }
};

TEST_F(TimeTableWindowTest, ControlsCarryTheirCaptionsAndWidths) {
  Start();
  console::TTimeTableFrm& frm = Frm();
  EXPECT_EQ(frm.windowTitle(), QStringLiteral("课程表设置"));
  EXPECT_EQ(frm.size(), QSize(639, 514));
  EXPECT_EQ(frm.minimumSize(), frm.maximumSize()) << "fixed size";

  const QStringList headers = {QStringLiteral("ID"), QStringLiteral("星期"),
                               QStringLiteral("开始时间"), QStringLiteral("结束时间"),
                               QStringLiteral("班级")};
  const int widths[] = {50, 60, 100, 100, 100};
  ASSERT_EQ(frm.ListView1->columnCount(), 5);
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(frm.ListView1->horizontalHeaderItem(c)->text(), headers[c]);
    EXPECT_EQ(frm.ListView1->columnWidth(c), widths[c]);
  }
  EXPECT_EQ(frm.ListView1->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(frm.ListView1->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(frm.ListView1->editTriggers(), QAbstractItemView::NoEditTriggers);

  const QStringList weekdays = {QStringLiteral("星期一"), QStringLiteral("星期二"),
                                QStringLiteral("星期三"), QStringLiteral("星期四"),
                                QStringLiteral("星期五")};
  for (QComboBox* box : {frm.ComboBox1, frm.ComboBox2}) {
    EXPECT_FALSE(box->isEditable());
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items.append(box->itemText(i));
    EXPECT_EQ(items, weekdays);
  }
  EXPECT_EQ(frm.ComboBox1->currentIndex(), 0);
  EXPECT_EQ(frm.ComboBox2->currentIndex(), -1);

  EXPECT_EQ(frm.Label3->text(), QStringLiteral("班级"));
  EXPECT_EQ(frm.Label1->text(), QStringLiteral("开始时间"));
  EXPECT_EQ(frm.Label2->text(), QStringLiteral("结束时间"));
  EXPECT_EQ(frm.Label7->text(), QStringLiteral("时间格式    16:05"));
  EXPECT_EQ(frm.Label6->text(), QStringLiteral("临时调整课表为"));
  EXPECT_EQ(frm.Button2->text(), QStringLiteral("添加项目"));
  EXPECT_EQ(frm.Button3->text(), QStringLiteral("删除选中项目"));
  EXPECT_EQ(frm.Button4->text(), QStringLiteral("删除全部"));
  EXPECT_TRUE(frm.Button1->isHidden());
  EXPECT_TRUE(frm.DbStateLabel->isHidden());
  for (const char* name : {"ListView1", "ComboBox1", "ComboBox2", "Edit1", "Edit2", "Edit3",
                           "Label7", "Button2", "Button3", "Button4", "Button1"}) {
    EXPECT_NE(frm.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  }
}

TEST_F(TimeTableWindowTest, AddRefusesAnEmptyClassFirstThenABadTime) {
  Start();
  const struct {
    const char* begin;
    const char* end;
    const char* group;
    const char* message;
  } kCases[] = {
      {"25:00", "", "", "信息不能为空"},  // the class is checked before the times
      {"08:00", "09:00", "", "信息不能为空"}, {"24:00", "09:00", "一班", "时间格式错误"},
      {"08:00", "", "一班", "时间格式错误"},  {"eight", "09:00", "一班", "时间格式错误"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.begin) + " " + c.end + " " + c.group);
    dialogs.Forget();
    Add(1, QString::fromUtf8(c.begin), QString::fromUtf8(c.end), QString::fromUtf8(c.group));
    EXPECT_EQ(dialogs.Infos(), std::vector<QString>{QString::fromUtf8(c.message)});
    // The fields keep what was typed, so the operator can correct it.
    EXPECT_EQ(Frm().Edit1->text(), QString::fromUtf8(c.begin));
    EXPECT_EQ(Frm().Edit2->text(), QString::fromUtf8(c.end));
    EXPECT_EQ(Frm().Edit3->text(), QString::fromUtf8(c.group));
  }
  EXPECT_TRUE(Column("select Id from TimeTable").empty());
  EXPECT_TRUE(Listed().empty());
}

TEST_F(TimeTableWindowTest, AddedRowsAreListedByWeekdayThenStartWhateverTheirIdOrder) {
  Start();
  Add(1, QStringLiteral("08:00"), QStringLiteral("09:40"), QStringLiteral("二班"));
  Add(0, QStringLiteral("16:00"), QStringLiteral("17:00"), QStringLiteral("一班"));
  Add(0, QStringLiteral("14:00"), QStringLiteral("15:00"), QStringLiteral("一班"));
  Add(0, QStringLiteral(" 9:00"), QStringLiteral("08:00"), QStringLiteral("三班"));
  EXPECT_TRUE(dialogs.AllShown().empty());

  EXPECT_EQ(Listed(), (std::vector<std::string>{
                          "4|星期一| 9:00|08:00|三班",
                          "3|星期一|14:00|15:00|一班",
                          "2|星期一|16:00|17:00|一班",
                          "1|星期二|08:00|09:40|二班",
                      }));
  // Stored exactly as typed: the leading blank stays, a start after its end is not refused.
  EXPECT_EQ(Column("select BeginTime from TimeTable where Id=4"),
            std::vector<std::string>{" 9:00"});
  EXPECT_EQ(Column("select Week from TimeTable order by Id"),
            (std::vector<std::string>{"2", "1", "1", "1"}));
  // The entry fields are emptied for the next row; the weekday box keeps its choice.
  EXPECT_TRUE(Frm().Edit1->text().isEmpty());
  EXPECT_TRUE(Frm().Edit2->text().isEmpty());
  EXPECT_TRUE(Frm().Edit3->text().isEmpty());
  EXPECT_EQ(Frm().ComboBox1->currentIndex(), 0);
}

TEST_F(TimeTableWindowTest, RowsTheWindowCannotWriteAreListedWithoutACrash) {
  Sql("insert into TimeTable (Week, BeginTime, EndTime, GroupName) values "
      "(1, 'soon', '09:00', 'bad'),"
      "(2, '08:00', '09:00', 'tue'),"
      "(6, '10:00', '11:00', 'sat'),"
      "(1, '', '', 'empty'),"
      "(1, '08:00', '09:00', 'mon'),"
      "(3, '25:61', '26:00', 'worse')");
  Start();
  EXPECT_TRUE(dialogs.AllShown().empty());
  // Saturday has no weekday text and sorts before Monday; starts that do not parse come last,
  // keeping their Id order.
  EXPECT_EQ(ListedWithoutIds(), (std::vector<std::string>{
                                    "|10:00|11:00|sat",
                                    "星期一|08:00|09:00|mon",
                                    "星期二|08:00|09:00|tue",
                                    "星期一|soon|09:00|bad",
                                    "星期一|||empty",
                                    "星期三|25:61|26:00|worse",
                                }));
  const console::TimeTableTexts bad = {"1", QStringLiteral("星期一"), "soon", "09:00", "bad"};
  const console::TimeTableTexts mon = {"5", QStringLiteral("星期一"), "08:00", "09:00", "mon"};
  EXPECT_GT(Frm().ListView1Compare(bad, mon), 0);
  EXPECT_LT(Frm().ListView1Compare(mon, bad), 0);
  EXPECT_EQ(Frm().ListView1Compare(bad, bad), 0);

  // A Saturday row brought into the fields leaves no weekday chosen, and adding it as it is
  // stores Week 0.
  Select("|10:00|11:00|sat");
  Frm().ListView1DblClick();
  EXPECT_EQ(Frm().ComboBox1->currentIndex(), -1);
  Frm().Button2Click();
  EXPECT_EQ(Column("select Week from TimeTable where Id=7"), std::vector<std::string>{"0"});
}

TEST_F(TimeTableWindowTest, StartTimesWithinFourSecondsCompareEqual) {
  Start();
  const auto row = [](const char* start) {
    return console::TimeTableTexts{"1", QStringLiteral("星期二"), start, "", ""};
  };
  EXPECT_EQ(Frm().ListView1Compare(row("08:00:00"), row("08:00:04")), 0);
  EXPECT_LT(Frm().ListView1Compare(row("08:00:00"), row("08:00:05")), 0);
  // A row without a weekday text comes before every row with one.
  EXPECT_LT(Frm().ListView1Compare({"1", "", "23:59", "", ""}, row("00:00")), 0);
}

TEST_F(TimeTableWindowTest, DoubleClickBringsTheRowIntoTheFields) {
  Start();
  Add(3, QStringLiteral("10:05"), QStringLiteral("11:35"), QStringLiteral("四班"));
  Frm().ComboBox1->setCurrentIndex(0);
  Frm().ListView1DblClick();  // nothing selected: nothing changes
  EXPECT_EQ(Frm().ComboBox1->currentIndex(), 0);
  EXPECT_TRUE(Frm().Edit1->text().isEmpty());

  Select("星期四|10:05|11:35|四班");
  Frm().ListView1DblClick();
  EXPECT_EQ(Frm().ComboBox1->currentIndex(), 3);
  EXPECT_EQ(Frm().Edit1->text(), QStringLiteral("10:05"));
  EXPECT_EQ(Frm().Edit2->text(), QStringLiteral("11:35"));
  EXPECT_EQ(Frm().Edit3->text(), QStringLiteral("四班"));
  EXPECT_EQ(Listed().size(), 1u) << "the row itself is not changed";
}

TEST_F(TimeTableWindowTest, DeleteSelectedRemovesThatRowOnly) {
  Start();
  Add(0, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("一班"));
  Add(1, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("二班"));

  Frm().Button3Click();  // no selection: nothing happens
  EXPECT_EQ(Listed().size(), 2u);

  Select("星期一|08:00|09:00|一班");
  Frm().Button3Click();
  EXPECT_EQ(Listed(), std::vector<std::string>{"2|星期二|08:00|09:00|二班"});
  EXPECT_EQ(Column("select GroupName from TimeTable"), std::vector<std::string>{"二班"});
  EXPECT_TRUE(dialogs.AllShown().empty()) << "no confirmation";
}

TEST_F(TimeTableWindowTest, DeleteAllAsksAndOnlyOkDeletes) {
  Start();
  Add(0, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("一班"));
  Add(2, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("三班"));

  dialogs.AnswerConfirm(false);
  Frm().Button4Click();
  EXPECT_EQ(Listed().size(), 2u);
  EXPECT_EQ(Column("select count(*) from TimeTable"), std::vector<std::string>{"2"});

  dialogs.AnswerConfirm(true);
  Frm().Button4Click();
  EXPECT_TRUE(Listed().empty());
  EXPECT_EQ(Column("select count(*) from TimeTable"), std::vector<std::string>{"0"});

  ASSERT_EQ(dialogs.AllShown().size(), 2u);
  for (const ScriptedDialogs::Shown& shown : dialogs.AllShown()) {
    EXPECT_EQ(shown.kind, Kind::Confirm);
    EXPECT_EQ(shown.caption, QStringLiteral("确认删除"));
    EXPECT_EQ(shown.text, QStringLiteral("确定要删除全部时间表项目吗？"));
  }
}

TEST_F(TimeTableWindowTest, OverrideBoxSetsTheGateWeekday) {
  Start();
  EXPECT_EQ(service->Db()->CurrWeekTemp(), -1);
  Frm().ComboBox2->setCurrentIndex(2);
  Frm().ComboBox2Change();
  EXPECT_EQ(service->Db()->CurrWeekTemp(), 3);
  Frm().ComboBox2->setCurrentIndex(0);
  Frm().ComboBox2Change();
  EXPECT_EQ(service->Db()->CurrWeekTemp(), 1);
}

TEST_F(TimeTableWindowTest, FailuresAreReportedAndHiddenButtonCreatesTheTable) {
  Start();
  Add(0, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("一班"));
  Sql("drop table TimeTable");

  // A failing refresh reports the engine's message and leaves an empty list.
  Frm().RefreshListView();
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_TRUE(dialogs.Errors()[0].contains(QStringLiteral("TimeTable")))
      << dialogs.Errors()[0].toStdString();
  EXPECT_TRUE(Listed().empty());
  dialogs.Forget();

  Frm().Button1Click();
  EXPECT_TRUE(dialogs.AllShown().empty());
  Add(4, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("五班"));
  EXPECT_EQ(Listed(), std::vector<std::string>{"1|星期五|08:00|09:00|五班"});

  // Once more: the table exists, and the engine says so.
  Frm().Button1Click();
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_TRUE(dialogs.Errors()[0].contains(QStringLiteral("already exists")))
      << dialogs.Errors()[0].toStdString();
}

TEST_F(TimeTableWindowTest, WindowOverAMissingDatabaseKeepsItsButtonsOff) {
  TempDir empty;
  Start(false, empty.Path().string());
  ASSERT_EQ(service->Db(), nullptr);
  dialogs.Forget();  // the main window's start-up error

  console::TTimeTableFrm& frm = Frm();
  EXPECT_TRUE(Listed().empty());
  EXPECT_FALSE(frm.DbStateLabel->isHidden());
  EXPECT_FALSE(frm.DbStateLabel->text().isEmpty());
  for (QWidget* control : {static_cast<QWidget*>(frm.Button2), static_cast<QWidget*>(frm.Button3),
                           static_cast<QWidget*>(frm.Button4), static_cast<QWidget*>(frm.Button1),
                           static_cast<QWidget*>(frm.ComboBox2)}) {
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  }
  // Reached anyway, the handlers report instead of touching a database that is not there.
  Add(0, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("一班"));
  frm.ComboBox2->setCurrentIndex(1);
  frm.ComboBox2Change();
  frm.Button1Click();
  EXPECT_EQ(dialogs.Errors().size(), 3u);
}

}  // namespace
}  // namespace orvo::testing
