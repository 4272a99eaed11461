// The timetable window: its controls, the listing order, adding with its checks (times, the class
// text against the classes there are), deleting once confirmed, the double click, the weekday
// adjustment and its end, the hidden table-creating button and a missing database.
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

const QStringList kWeekdays = {QStringLiteral("星期一"), QStringLiteral("星期二"),
                               QStringLiteral("星期三"), QStringLiteral("星期四"),
                               QStringLiteral("星期五"), QStringLiteral("星期六"),
                               QStringLiteral("星期日")};

QStringList Items(const QComboBox& box) {
  QStringList items;
  for (int i = 0; i < box.count(); ++i) items.append(box.itemText(i));
  return items;
}

class TimeTableWindowTest : public ConsoleTest {
 protected:
  // The classes the lessons of these tests name, made before the windows start.
  void AddClasses() {
    Sql("insert into Groups (GroupName) values ('一班'),('二班'),('三班'),('四班'),('五班'),"
        "('初二（3）班')");
  }

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
    Frm().ComboBox3->setEditText(group);
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

  // Every day of the week; the adjustment box starts with the entry that ends an adjustment, and
  // shows it while there is none.
  EXPECT_FALSE(frm.ComboBox1->isEditable());
  EXPECT_EQ(Items(*frm.ComboBox1), kWeekdays);
  EXPECT_EQ(frm.ComboBox1->currentIndex(), 0);
  EXPECT_FALSE(frm.ComboBox2->isEditable());
  EXPECT_EQ(Items(*frm.ComboBox2), QStringList{QStringLiteral("不调整")} + kWeekdays);
  EXPECT_EQ(frm.ComboBox2->currentText(), QStringLiteral("不调整"));
  EXPECT_TRUE(frm.ComboBox3->isEditable()) << "a lesson may name several classes";

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
  for (const char* name : {"ListView1", "ComboBox1", "ComboBox2", "Edit1", "Edit2", "ComboBox3",
                           "Label7", "Button2", "Button3", "Button4", "Button1"}) {
    EXPECT_NE(frm.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
  }
}

TEST_F(TimeTableWindowTest, AddRefusesNamingTheFieldAndWhatWasTyped) {
  Start();
  const struct {
    const char* begin;
    const char* end;
    const char* group;
    const char* message;
  } kCases[] = {
      {"25:00", "", "", "请填写班级"},  // the class is checked before the times
      {"08:00", "09:00", " ，", "班级“ ，”里没有班级名"},
      {"24:00", "09:00", "一班", "开始时间“24:00”不是有效的时间，请按 16:05 的格式填写"},
      {"eight", "", "一班", "开始时间“eight”不是有效的时间，请按 16:05 的格式填写"},
      {" ", "09:00", "一班", "请填写开始时间"},
      {"08:00", "", "一班", "请填写结束时间"},
      {"08:00", "9:00x", "一班", "结束时间“9:00x”不是有效的时间，请按 16:05 的格式填写"},
      // The end must come after the start, as orvo-admin requires.
      {"09:00", "08:00", "一班", "结束时间“08:00”不在开始时间“09:00”之后；跨过午夜的课请分成两节"},
      {"８：００", "8:00", "一班",
       "结束时间“8:00”不在开始时间“８：００”之后；跨过午夜的课请分成两节"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.begin) + " " + c.end + " " + c.group);
    dialogs.Forget();
    Add(1, QString::fromUtf8(c.begin), QString::fromUtf8(c.end), QString::fromUtf8(c.group));
    EXPECT_EQ(dialogs.Infos(), std::vector<QString>{QString::fromUtf8(c.message)});
    // The fields keep what was typed, so the operator can correct it.
    EXPECT_EQ(Frm().Edit1->text(), QString::fromUtf8(c.begin));
    EXPECT_EQ(Frm().Edit2->text(), QString::fromUtf8(c.end));
    EXPECT_EQ(Frm().ComboBox3->currentText(), QString::fromUtf8(c.group));
  }
  EXPECT_TRUE(Column("select Id from TimeTable").empty());
  EXPECT_TRUE(Listed().empty());
}

TEST_F(TimeTableWindowTest, AddedRowsAreListedByWeekdayThenStartWhateverTheirIdOrder) {
  AddClasses();
  Start();
  Add(1, QStringLiteral("08:00"), QStringLiteral("09:40"), QStringLiteral("二班"));
  Add(0, QStringLiteral("16:00"), QStringLiteral("17:00"), QStringLiteral("一班"));
  Add(6, QStringLiteral("09:00"), QStringLiteral("10:00"), QStringLiteral("五班"));
  Add(0, QStringLiteral("14:00"), QStringLiteral("15:00"), QStringLiteral("一班"));
  Add(5, QStringLiteral("09:00"), QStringLiteral("10:00"), QStringLiteral("四班"));
  Add(0, QStringLiteral(" 9:00"), QStringLiteral("１０：００"), QStringLiteral("三班,一班"));
  EXPECT_TRUE(dialogs.AllShown().empty());

  EXPECT_EQ(Listed(), (std::vector<std::string>{
                          "6|星期一| 9:00|10:00|三班,一班",
                          "4|星期一|14:00|15:00|一班",
                          "2|星期一|16:00|17:00|一班",
                          "1|星期二|08:00|09:40|二班",
                          "5|星期六|09:00|10:00|四班",
                          "3|星期日|09:00|10:00|五班",
                      }));
  // Stored as typed, the leading blank included, but with full-width digits and colon read as
  // half-width ones; Saturday and Sunday are Week 6 and 7.
  EXPECT_EQ(Column("select BeginTime || '-' || EndTime from TimeTable where Id=6"),
            std::vector<std::string>{" 9:00-10:00"});
  EXPECT_EQ(Column("select Week from TimeTable order by Id"),
            (std::vector<std::string>{"2", "1", "7", "1", "6", "1"}));
  // The entry fields are emptied for the next row; the weekday box keeps its choice.
  EXPECT_TRUE(Frm().Edit1->text().isEmpty());
  EXPECT_TRUE(Frm().Edit2->text().isEmpty());
  EXPECT_TRUE(Frm().ComboBox3->currentText().isEmpty());
  EXPECT_EQ(Frm().ComboBox1->currentIndex(), 0);
}

TEST_F(TimeTableWindowTest, ClassBoxOffersTheClassesAndKeepsWhatIsTyped) {
  AddClasses();
  Start();
  // Every class, in the class list's order (which has its own tests).
  QStringList offered = Items(*Frm().ComboBox3);
  offered.sort();
  QStringList classes = {QStringLiteral("一班"), QStringLiteral("二班"),
                         QStringLiteral("三班"), QStringLiteral("四班"),
                         QStringLiteral("五班"), QStringLiteral("初二（3）班")};
  classes.sort();
  EXPECT_EQ(offered, classes);
  EXPECT_TRUE(Frm().ComboBox3->currentText().isEmpty()) << "no class is chosen for the operator";

  // A class added while the window is hidden is offered when it is shown; the typed text stays.
  Frm().ComboBox3->setEditText(QStringLiteral("一班,"));
  service->Db()->AddGroup("六班");
  Frm().show();
  EXPECT_GE(Frm().ComboBox3->findText(QStringLiteral("六班")), 0);
  EXPECT_EQ(Frm().ComboBox3->currentText(), QStringLiteral("一班,"));

  // Picking a class puts its exact name in the text.
  Frm().ComboBox3->setCurrentIndex(Frm().ComboBox3->findText(QStringLiteral("初二（3）班")));
  EXPECT_EQ(Frm().ComboBox3->currentText(), QStringLiteral("初二（3）班"));
  Add(0, QStringLiteral("08:00"), QStringLiteral("09:00"), Frm().ComboBox3->currentText());
  EXPECT_TRUE(dialogs.AllShown().empty());
  EXPECT_EQ(Column("select GroupName from TimeTable"), std::vector<std::string>{"初二（3）班"});
}

TEST_F(TimeTableWindowTest, UnknownClassIsNamedBeforeSavingAndOnlyOkSaves) {
  AddClasses();
  Start();
  // ASCII brackets for a class written with full-width ones, and a class that does not exist.
  const QString typed = QStringLiteral("初二(3)班，一班、七班");
  dialogs.AnswerConfirm(false);
  Add(0, QStringLiteral("08:00"), QStringLiteral("09:00"), typed);
  ASSERT_EQ(dialogs.AllShown().size(), 1u);
  const ScriptedDialogs::Shown& warning = dialogs.AllShown()[0];
  EXPECT_EQ(warning.kind, Kind::Confirm);
  EXPECT_EQ(warning.caption, QStringLiteral("班级不存在"));
  EXPECT_EQ(warning.text, QStringLiteral("没有班级“初二(3)班”，是不是“初二（3）班”？\n"
                                         "没有班级“七班”\n"
                                         "这些名字的学生不能按这节课登录。仍然保存吗？"));
  EXPECT_TRUE(Column("select Id from TimeTable").empty()) << "cancel saves nothing";
  EXPECT_EQ(Frm().ComboBox3->currentText(), typed) << "the text stays for correcting";

  dialogs.Forget();
  dialogs.AnswerConfirm(true);
  Frm().Button2Click();
  EXPECT_EQ(dialogs.AllShown().size(), 1u);
  EXPECT_EQ(Column("select GroupName from TimeTable"),
            std::vector<std::string>{typed.toStdString()});

  // "*" names every class: no question.
  dialogs.Forget();
  Add(1, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("*"));
  EXPECT_TRUE(dialogs.AllShown().empty());
  EXPECT_EQ(Listed().size(), 2u);
}

TEST_F(TimeTableWindowTest, LessonOverlappingAnotherClassIsNamedBeforeSavingAndOnlyOkSaves) {
  AddClasses();
  Start();
  Add(0, QStringLiteral("08:00"), QStringLiteral("08:45"), QStringLiteral("一班"));
  ASSERT_TRUE(dialogs.AllShown().empty());

  dialogs.AnswerConfirm(false);
  Add(0, QStringLiteral("08:30"), QStringLiteral("09:15"), QStringLiteral("初二（3）班"));
  ASSERT_EQ(dialogs.AllShown().size(), 1u);
  EXPECT_EQ(dialogs.AllShown()[0].caption, QStringLiteral("时间重叠"));
  EXPECT_EQ(
      dialogs.AllShown()[0].text,
      QStringLiteral("这节课和已有的课程时间重叠：\n星期一 08:00-08:45 一班\n"
                     "同一时间只按先加入的课程放行，重叠的时间里这节课不起作用。仍然保存吗？"));
  EXPECT_EQ(Listed().size(), 1u) << "cancel saves nothing";

  // Right after it, or on another weekday, nothing is asked.
  dialogs.Forget();
  Add(0, QStringLiteral("08:45"), QStringLiteral("09:30"), QStringLiteral("初二（3）班"));
  Add(1, QStringLiteral("08:30"), QStringLiteral("09:15"), QStringLiteral("初二（3）班"));
  EXPECT_TRUE(dialogs.AllShown().empty());
  EXPECT_EQ(Listed().size(), 3u);
}

TEST_F(TimeTableWindowTest, RowsTheWindowCannotWriteAreListedWithoutACrash) {
  Sql("insert into TimeTable (Week, BeginTime, EndTime, GroupName) values "
      "(1, 'soon', '09:00', 'bad'),"
      "(2, '08:00', '09:00', 'tue'),"
      "(8, '10:00', '11:00', 'week8'),"
      "(1, '', '', 'empty'),"
      "(1, '08:00', '09:00', 'mon'),"
      "(3, '25:61', '26:00', 'worse')");
  Start();
  EXPECT_TRUE(dialogs.AllShown().empty());
  // Week 8 names no weekday and sorts before Monday; starts that do not parse come last, keeping
  // their Id order.
  EXPECT_EQ(ListedWithoutIds(), (std::vector<std::string>{
                                    "|10:00|11:00|week8",
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

  // Such a row brought into the fields leaves no weekday chosen, and adding it as it is asks for
  // one rather than store a lesson on no day.
  Select("|10:00|11:00|week8");
  Frm().ListView1DblClick();
  EXPECT_EQ(Frm().ComboBox1->currentIndex(), -1);
  Frm().Button2Click();
  EXPECT_EQ(dialogs.Infos(), std::vector<QString>{QStringLiteral("请选择星期")});
  EXPECT_EQ(Column("select count(*) from TimeTable"), std::vector<std::string>{"6"});
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
  AddClasses();
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
  EXPECT_EQ(Frm().ComboBox3->currentText(), QStringLiteral("四班"));
  EXPECT_EQ(Listed().size(), 1u) << "the row itself is not changed";
}

TEST_F(TimeTableWindowTest, DeleteSelectedAsksAndRemovesThatRowOnly) {
  AddClasses();
  Start();
  Add(0, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("一班"));
  Add(1, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("二班"));

  Frm().Button3Click();  // no selection: nothing happens, nothing is asked
  EXPECT_EQ(Listed().size(), 2u);
  EXPECT_TRUE(dialogs.AllShown().empty());

  Select("星期一|08:00|09:00|一班");
  dialogs.AnswerConfirm(false);
  Frm().Button3Click();
  EXPECT_EQ(Listed().size(), 2u) << "cancel keeps the lesson";
  ASSERT_EQ(dialogs.AllShown().size(), 1u);
  EXPECT_EQ(dialogs.AllShown()[0].kind, Kind::Confirm);
  EXPECT_EQ(dialogs.AllShown()[0].caption, QStringLiteral("确认删除"));
  EXPECT_EQ(dialogs.AllShown()[0].text,
            QStringLiteral("确定要删除课程“星期一 08:00-09:00 一班”吗？"));

  Select("星期一|08:00|09:00|一班");
  dialogs.AnswerConfirm(true);
  Frm().Button3Click();
  EXPECT_EQ(Listed(), std::vector<std::string>{"2|星期二|08:00|09:00|二班"});
  EXPECT_EQ(Column("select GroupName from TimeTable"), std::vector<std::string>{"二班"});
}

TEST_F(TimeTableWindowTest, DeleteAllAsksAndOnlyOkDeletes) {
  AddClasses();
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

TEST_F(TimeTableWindowTest, AdjustmentTakesAnyWeekdayAndNoAdjustmentEndsItAtTheNextLogin) {
  AddClasses();
  clock.SetNow({2026, 12, 7, 8, 10, 0, 0, 1});  // a Monday
  Start();
  Add(5, QStringLiteral("08:00"), QStringLiteral("09:00"), QStringLiteral("三班"));
  store::TOrvoDiskDb& db = *service->Db();
  EXPECT_EQ(db.CurrWeekTemp(), -1);
  EXPECT_EQ(db.CurrentGroupName(), "");

  const auto pick = [this](const QString& item) {
    Frm().ComboBox2->setCurrentIndex(Frm().ComboBox2->findText(item));
    Frm().ComboBox2Change();
  };
  pick(QStringLiteral("星期六"));
  EXPECT_EQ(db.CurrWeekTemp(), 6);
  EXPECT_EQ(db.CurrentGroupName(), "三班") << "Saturday's lesson, today";
  pick(QStringLiteral("星期日"));
  EXPECT_EQ(db.CurrWeekTemp(), 7);
  EXPECT_EQ(db.CurrentGroupName(), "");
  pick(QStringLiteral("星期六"));
  pick(QStringLiteral("不调整"));
  EXPECT_EQ(db.CurrWeekTemp(), -1);
  EXPECT_EQ(db.CurrentGroupName(), "") << "back to Monday's lessons at once";
  EXPECT_TRUE(dialogs.AllShown().empty());
}

TEST_F(TimeTableWindowTest, FailuresAreReportedAndHiddenButtonCreatesTheTable) {
  AddClasses();
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
  for (QWidget* control :
       {static_cast<QWidget*>(frm.Button2), static_cast<QWidget*>(frm.Button3),
        static_cast<QWidget*>(frm.Button4), static_cast<QWidget*>(frm.Button1),
        static_cast<QWidget*>(frm.ComboBox2), static_cast<QWidget*>(frm.ComboBox3)}) {
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
