// The class list, the student list with its sorting, the add-students dialog, the search and the
// current-class link.
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "console/ConsoleRules.h"
#include "tests/console/ConsoleFixture.h"

namespace orvo::testing {
namespace {

namespace fs = std::filesystem;
using Kind = ScriptedDialogs::Kind;

std::string AddStudentSql(const std::string& group, const std::string& name) {
  return "insert into Users (UserId, UserName, PassWord, GroupName) values ('" + name + "', '" +
         name + "', '907183', '" + group + "');";
}

std::vector<QString> Q(std::initializer_list<const char*> texts) {
  std::vector<QString> out;
  for (const char* text : texts) out.push_back(QString::fromUtf8(text));
  return out;
}

class ClassesAndStudentsTest : public ConsoleTest {};

TEST(ConsoleRules, StudentsCompareAsTextInTheChosenDirection) {
  using console::CompareStudents;
  const console::StudentTexts nine{"9", "一班", "b", "b", "1"};
  const console::StudentTexts ten{"10", "一班", "a", "a", "1"};
  EXPECT_LT(console::CompareText("10", "9"), 0);
  EXPECT_NE(console::CompareText("a", "A"), 0);
  EXPECT_EQ(console::CompareText("张三", "张三"), 0);
  EXPECT_LT(CompareStudents(ten, nine, 0, 1), 0);
  EXPECT_GT(CompareStudents(ten, nine, 0, -1), 0);
  EXPECT_GT(CompareStudents(nine, ten, 2, 1), 0);
  EXPECT_EQ(CompareStudents(nine, ten, 1, 1), 0);
  EXPECT_EQ(CompareStudents(nine, ten, 0, 0), 0);
  // Chinese by pinyin (er, san, yi), not by character code (一 U+4E00 would come first).
  QStringList classes{"一班", "三班", "二班"};
  console::SortClassNames(classes);
  EXPECT_EQ(classes, (QStringList{"二班", "三班", "一班"}));
  EXPECT_EQ(console::SortedClassPosition(classes, QStringLiteral("四班")), 2);
  EXPECT_EQ(console::NextSortWay(0), 1);
  EXPECT_EQ(console::NextSortWay(1), -1);
  EXPECT_EQ(console::NextSortWay(-1), 1);
}

TEST_F(ClassesAndStudentsTest, AddedClassTakesItsSortedPlaceIsStoredAndPicked) {
  Sql("insert into Groups values ('b班'); insert into Groups values ('D班');");
  console::TSMainFrm& frm = Start();
  PickClass(QStringLiteral("D班"));
  dialogs.AnswerInput(QStringLiteral("c班"));
  frm.Button4Click();
  ASSERT_EQ(dialogs.AllShown().size(), 1u);
  EXPECT_EQ(dialogs.AllShown()[0].kind, Kind::Input);
  EXPECT_EQ(dialogs.AllShown()[0].caption, QStringLiteral("添加班级"));
  EXPECT_EQ(dialogs.AllShown()[0].text, QStringLiteral("班级名称："));
  EXPECT_EQ(ClassItems(), (QStringList{"b班", "c班", "D班"}));
  // The new class is picked, and its (empty) student list shown in place of D班's.
  EXPECT_EQ(Classes()->currentText(), QStringLiteral("c班"));
  EXPECT_TRUE(StudentColumn(2).empty());
  EXPECT_EQ(Column("select GroupName from Groups order by GroupName"),
            (std::vector<std::string>{"D班", "b班", "c班"}));
}

TEST_F(ClassesAndStudentsTest, PastedClassNameIsTrimmedAndPickedInAnEmptyList) {
  console::TSMainFrm& frm = Start();
  dialogs.AnswerInput(QStringLiteral("　一班 	"));
  frm.Button4Click();
  EXPECT_EQ(ClassItems(), (QStringList{"一班"}));
  EXPECT_EQ(Classes()->currentText(), QStringLiteral("一班"));
  EXPECT_EQ(Column("select GroupName from Groups"), std::vector<std::string>{"一班"});
  EXPECT_TRUE(dialogs.Errors().empty());
}

TEST_F(ClassesAndStudentsTest, RefusedOrDuplicateClassSaysWhyAndCancelSaysNothing) {
  Sql("insert into Groups values ('ClassA');");
  console::TSMainFrm& frm = Start();
  const struct {
    std::optional<QString> answer;
    const char* error;  // nullptr: no box
  } cases[] = {
      {QStringLiteral(" classa"), "班级“ClassA”已存在"},
      {QStringLiteral("高一 2班"), "“高一 2班”中间有空格，该班学生无法登录"},
      {QStringLiteral("  "), "班级名称为空"},
      {QString(), nullptr},
      {std::nullopt, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error ? c.error : "no box");
    dialogs.Forget();
    dialogs.AnswerInput(c.answer);
    frm.Button4Click();
    EXPECT_EQ(ClassItems(), (QStringList{"ClassA"}));
    EXPECT_EQ(Column("select count(*) from Groups"), std::vector<std::string>{"1"});
    const std::vector<QString> expected =
        c.error ? std::vector<QString>{QString::fromUtf8(c.error)} : std::vector<QString>{};
    EXPECT_EQ(dialogs.Errors(), expected);
  }
}

TEST_F(ClassesAndStudentsTest, DeletedClassLeavesItsStudentsShownAndStored) {
  Sql("insert into Groups values ('一班'); insert into Groups values ('二班');" +
      AddStudentSql("一班", "张三"));
  console::TSMainFrm& frm = Start();
  frm.Button5Click();  // nothing selected: nothing happens
  EXPECT_EQ(ClassItems().size(), 2);
  PickClass(QStringLiteral("一班"));
  ASSERT_EQ(StudentColumn(2), Q({"张三"}));

  dialogs.AnswerConfirm(false);
  frm.Button5Click();
  ASSERT_EQ(dialogs.AllShown().size(), 1u);
  EXPECT_EQ(dialogs.AllShown()[0].kind, Kind::Confirm);
  EXPECT_TRUE(dialogs.AllShown()[0].text.contains(QStringLiteral("“一班”")));
  // Pinyin order: èr before yī.
  EXPECT_EQ(ClassItems(), (QStringList{"二班", "一班"})) << "cancelled: nothing changes";
  EXPECT_EQ(Classes()->currentText(), QStringLiteral("一班"));
  EXPECT_EQ(Column("select count(*) from Groups"), std::vector<std::string>{"2"});

  dialogs.Forget();
  dialogs.AnswerConfirm(true);
  frm.Button5Click();
  EXPECT_EQ(ClassItems(), (QStringList{"二班"}));
  EXPECT_EQ(Classes()->currentIndex(), -1);
  EXPECT_EQ(Column("select GroupName from Groups"), std::vector<std::string>{"二班"});
  EXPECT_EQ(StudentColumn(2), Q({"张三"}));
  EXPECT_EQ(Column("select UserName from Users"), std::vector<std::string>{"张三"});
  EXPECT_TRUE(dialogs.Errors().empty());
}

TEST_F(ClassesAndStudentsTest, StudentsAddedThroughTheDialogSkipNamesTheClassHas) {
  const fs::path root = dir.Path() / "root";
  Sql("insert into Setting values ('" + root.string() +
      "', '', 0, 1, 0);"
      "insert into Groups values ('一班');" +
      AddStudentSql("一班", "张三"));
  console::TSMainFrm& frm = Start();
  addUser->Memo1->setPlainText(QStringLiteral("left over"));
  frm.Button7Click();  // no class selected: says to pick one, no dialog
  ASSERT_EQ(dialogs.AllShown().size(), 1u);
  EXPECT_EQ(dialogs.AllShown()[0].kind, Kind::Info);
  EXPECT_TRUE(dialogs.AllShown()[0].text.contains(QStringLiteral("选择")));
  dialogs.Forget();

  PickClass(QStringLiteral("一班"));
  dialogs.AnswerModal([](QDialog& dialog) {
    auto* memo = dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"));
    EXPECT_TRUE(memo->toPlainText().isEmpty());
    memo->setPlainText(QStringLiteral("张三\n\n李四\n"));
    dialog.findChild<QPushButton*>(QStringLiteral("Button1"))->click();  // "添加"
    return dialog.result() == QDialog::Accepted;
  });
  frm.Button7Click();
  ASSERT_EQ(dialogs.AllShown().size(), 2u);
  EXPECT_EQ(dialogs.AllShown()[0].caption, QStringLiteral("添加学生到班级一班"));
  EXPECT_EQ(dialogs.Infos(), std::vector<QString>{QStringLiteral(
                                 "已添加 1 名学生。\n以下 1 个姓名未添加：\n“张三”已在本班级中")});
  EXPECT_EQ(StudentColumn(2), Q({"李四", "张三"}));
  EXPECT_EQ(StudentColumn(4), Q({"907183", "907183"}));
  EXPECT_EQ(Column("select count(*) from Users"), std::vector<std::string>{"2"});
  EXPECT_TRUE(fs::is_directory(root / "一班" / "李四"));
}

TEST_F(ClassesAndStudentsTest, PastedListAddsItsGoodNamesAndListsTheRefusedOnes) {
  const fs::path root = dir.Path() / "root";
  Sql("insert into Setting values ('" + root.string() +
      "', '', 0, 1, 0);"
      "insert into Groups values ('一班');");
  console::TSMainFrm& frm = Start();
  PickClass(QStringLiteral("一班"));
  dialogs.AnswerModal([](QDialog& dialog) {
    // A spreadsheet column: trailing blanks, Windows line ends, a blank line at the end.
    dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))
        ->setPlainText(QStringLiteral("彭浩宇 \r\nLi Ming\r\n赵六\r\n李䶮\r\n阿明\r\n"));
    dialog.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    return dialog.result() == QDialog::Accepted;
  });
  frm.Button7Click();
  EXPECT_EQ(StudentColumn(2), Q({"阿明", "彭浩宇", "赵六"}));
  EXPECT_TRUE(fs::is_directory(root / "一班" / "彭浩宇"));
  EXPECT_TRUE(dialogs.Infos().empty());
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  const QStringList lines = dialogs.Errors()[0].split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(lines[0], QStringLiteral("已添加 3 名学生。"));
  EXPECT_EQ(lines[1], QStringLiteral("以下 2 个姓名未添加："));
  EXPECT_EQ(lines[2], QStringLiteral("“Li Ming”中间有空格，学生无法登录"));
  EXPECT_TRUE(lines[3].startsWith(QStringLiteral("“李䶮”中的“䶮”"))) << lines[3].toStdString();
}

TEST_F(ClassesAndStudentsTest, CancelledDialogAddsNothingButRefreshes) {
  Sql("insert into Groups values ('一班');" + AddStudentSql("一班", "zhang"));
  console::TSMainFrm& frm = Start();
  PickClass(QStringLiteral("一班"));
  Sql(AddStudentSql("一班", "wang"));  // written meanwhile by another program
  dialogs.AnswerModal([](QDialog& dialog) {
    dialog.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))
        ->setPlainText(QStringLiteral("李四"));
    dialog.findChild<QPushButton*>(QStringLiteral("Button2"))->click();  // "取消"
    return dialog.result() == QDialog::Accepted;
  });
  frm.Button7Click();
  EXPECT_EQ(StudentColumn(2), Q({"wang", "zhang"}));
  EXPECT_EQ(Column("select count(*) from Users where UserName='李四'"),
            std::vector<std::string>{"0"});
}

TEST_F(ClassesAndStudentsTest, DeleteRemovesTheSelectedStudentOnlyOnceConfirmed) {
  Sql("insert into Groups values ('一班');" + AddStudentSql("一班", "张三") +
      AddStudentSql("一班", "李四") + AddStudentSql("二班", "张三"));
  console::TSMainFrm& frm = Start();
  PickClass(QStringLiteral("一班"));
  frm.Button8Click();  // no row selected: nothing happens
  EXPECT_EQ(StudentColumn(2).size(), 2u);

  const std::vector<QString> names = StudentColumn(2);
  const int row = static_cast<int>(std::find(names.begin(), names.end(), QStringLiteral("张三")) -
                                   names.begin());
  Students()->selectRow(row);
  dialogs.AnswerConfirm(false);
  frm.Button8Click();
  ASSERT_EQ(dialogs.Texts(Kind::Confirm).size(), 1u);
  EXPECT_TRUE(dialogs.Texts(Kind::Confirm)[0].contains(QStringLiteral("“一班”的学生“张三”")))
      << dialogs.Texts(Kind::Confirm)[0].toStdString();
  EXPECT_EQ(StudentColumn(2).size(), 2u) << "cancelled: nothing changes";
  EXPECT_EQ(SelectedStudentRow(), row);
  EXPECT_EQ(Column("select count(*) from Users"), std::vector<std::string>{"3"});

  dialogs.AnswerConfirm(true);
  frm.Button8Click();
  EXPECT_EQ(StudentColumn(2), Q({"李四"}));
  EXPECT_EQ(Column("select GroupName || UserName from Users order by Id"),
            (std::vector<std::string>{"一班李四", "二班张三"}));
}

TEST_F(ClassesAndStudentsTest, HeaderClicksFlipTheDirectionAndIdsSortAsText) {
  // Ids 1 to 10, names in the opposite order to the ids.
  std::string sql = "insert into Groups values ('一班');";
  for (int i = 1; i <= 10; ++i) sql += AddStudentSql("一班", "s" + std::to_string(20 - i));
  Sql(sql);
  console::TSMainFrm& frm = Start();
  frm.show();
  PickClass(QStringLiteral("一班"));
  EXPECT_EQ(frm.SortCol(), 2);
  EXPECT_EQ(frm.SortWay(), 1);
  EXPECT_EQ(StudentColumn(0), Q({"10", "9", "8", "7", "6", "5", "4", "3", "2", "1"}));

  QHeaderView* header = Students()->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
  EXPECT_EQ(frm.SortCol(), 0);
  EXPECT_EQ(StudentColumn(0), Q({"9", "8", "7", "6", "5", "4", "3", "2", "10", "1"}));
  frm.ListView1ColumnClick(0);
  EXPECT_EQ(StudentColumn(0), Q({"1", "10", "2", "3", "4", "5", "6", "7", "8", "9"}));

  // The direction flips whichever column is clicked; the selected student stays selected.
  Students()->selectRow(0);
  frm.ListView1ColumnClick(2);
  EXPECT_EQ(frm.SortWay(), -1);
  EXPECT_EQ(StudentColumn(2).front(), QStringLiteral("s19"));
  EXPECT_EQ(Students()->item(SelectedStudentRow(), 0)->text(), QStringLiteral("1"));

  // A refresh sorts by name ascending again.
  PickClass(QStringLiteral("一班"));
  EXPECT_EQ(StudentColumn(2).front(), QStringLiteral("s10"));
}

TEST_F(ClassesAndStudentsTest, FindSelectsTheFirstRowWhoseNameContainsTheText) {
  Sql("insert into Groups values ('一班');" + AddStudentSql("一班", "zhang san") +
      AddStudentSql("一班", "li si") + AddStudentSql("一班", "zhang wu"));
  console::TSMainFrm& frm = Start();
  PickClass(QStringLiteral("一班"));  // li si, zhang san, zhang wu
  QLineEdit* text = Edit("Edit1");

  text->setText(QStringLiteral("zhang"));
  frm.Button9Click();
  EXPECT_EQ(SelectedStudentRow(), 1);
  EXPECT_EQ(Students()->currentRow(), 1);
  frm.Button9Click();  // every search starts again at the top
  EXPECT_EQ(SelectedStudentRow(), 1);
  EXPECT_TRUE(dialogs.AllShown().empty());

  const char* kMisses[] = {"", "ZHANG", "wang"};
  for (const char* miss : kMisses) {
    SCOPED_TRACE(miss);
    dialogs.Forget();
    text->setText(QString::fromUtf8(miss));
    frm.Button9Click();
    EXPECT_EQ(dialogs.Infos(), std::vector<QString>{QStringLiteral("未找到")});
  }
}

TEST_F(ClassesAndStudentsTest, CurrentClassLinkPicksTheClassTheLessonAdmitsOrSaysWhyNone) {
  // The clock says Monday 08:00.
  const struct {
    const char* name;
    const char* lesson;  // GroupName of a lesson now; nullptr: no lesson
    bool paused;
    const char* picked;  // nullptr: none
    const char* said;
  } kCases[] = {
      {"one class", "one", false, "one", "当前班级：one"},
      {"one of several", "三班, two", false, "two", "当前班级：三班, two"},
      {"letter case differs: the gate refuses it", "ONE", false, nullptr,
       "当前课程的班级“ONE”不是已有的班级，没有学生可以登录。请在课程表中改正。"},
      {"every class", "*", false, nullptr, "当前课程的班级是“*”：所有班级的学生都可以登录"},
      {"no lesson", nullptr, false, nullptr, "当前班级：无"},
      {"paused", "one", true, nullptr, "课程表已暂停：所有班级的学生都可以登录"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    Sql("delete from TimeTable; delete from Groups; delete from Users;"
        "insert into Groups values ('one'); insert into Groups values ('two');" +
        AddStudentSql("one", "张三") + AddStudentSql("two", "李四"));
    if (c.lesson) {
      Sql(std::string("insert into TimeTable (Week, BeginTime, EndTime, GroupName) values "
                      "(1, '07:30', '08:30', '") +
          c.lesson + "');");
    }
    console::TSMainFrm& frm = Start();
    PickClass(QStringLiteral("one"));
    Box("CheckBox4")->setChecked(c.paused);
    frm.Label9Click();
    EXPECT_EQ(dialogs.Infos(), std::vector<QString>{QString::fromUtf8(c.said)});
    if (c.picked) {
      EXPECT_EQ(Classes()->currentText(), QString::fromUtf8(c.picked));
      EXPECT_EQ(StudentColumn(1).front(), QString::fromUtf8(c.picked));
    } else {
      EXPECT_EQ(Classes()->currentIndex(), -1);
      EXPECT_EQ(StudentColumn(2), Q({"张三"})) << "no class: the list keeps what it showed";
    }
    dialogs.Forget();
    Stop();
  }
}

}  // namespace
}  // namespace orvo::testing
