// The main window's controls: their captions, sizes, places and connections to the handlers.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "console/LinkLabel.h"
#include "console/ReportList.h"
#include "console/WindowSupport.h"
#include "console/main.h"

namespace orvo::console {
namespace {

const QColor kLinkColour(0x80, 0x00, 0x80);
const QColor kTeal(0x00, 0x80, 0x80);
const QColor kRed(0xC0, 0x00, 0x00);

QFrame* MakeStrip(QWidget* parent, const char* name) {
  auto* strip = Make<QFrame>(parent, name);
  strip->setFixedWidth(6);
  strip->setAutoFillBackground(true);
  QPalette colours = strip->palette();
  colours.setColor(QPalette::Window, kTeal);
  strip->setPalette(colours);
  return strip;
}

// A panel: a teal strip along its left edge beside `content`.
QFrame* MakePanel(QWidget* parent, QFrame* strip, QLayout* content) {
  auto* panel = new QFrame(parent);
  panel->setFrameShape(QFrame::StyledPanel);
  auto* layout = new QHBoxLayout(panel);
  layout->setContentsMargins(0, 0, 8, 0);
  layout->addWidget(strip);
  layout->addLayout(content);
  return panel;
}

}  // namespace

void TSMainFrm::BuildControls() {
  StartProblem = MakeColouredLabel(this, "StartProblem", QString(), kRed);
  StartProblem->setWordWrap(true);
  StartProblem->setTextInteractionFlags(Qt::TextSelectableByMouse);
  StartProblem->hide();
  Panel2 = MakeStrip(this, "Panel2");
  Label1 = Make<QLabel>(this, "Label1", QStringLiteral("学生组根目录："));
  RootPathEdit = Make<QLineEdit>(this, "RootPathEdit");
  Button1 = Make<QPushButton>(this, "Button1", QStringLiteral("..."));
  Label2 = Make<QLabel>(this, "Label2", QStringLiteral("课堂资源目录："));
  PublicPathEdit = Make<QLineEdit>(this, "PublicPathEdit");
  Button2 = Make<QPushButton>(this, "Button2", QStringLiteral("..."));
  Button10 = Make<QPushButton>(this, "Button10", QStringLiteral("文件夹打包"));
  CheckBox2 = Make<QCheckBox>(this, "CheckBox2", QStringLiteral("显示学生列表"));
  CheckBox4 = Make<QCheckBox>(this, "CheckBox4", QStringLiteral("暂停课程表设置"));
  CheckBox3 = Make<QCheckBox>(this, "CheckBox3", QStringLiteral("开机自启动"));
  Label7 = new LinkLabel(
      QStringLiteral("设置课程表"), kLinkColour, [this] { Label7Click(); }, this);
  Label7->setObjectName(QStringLiteral("Label7"));
  Label8 = new LinkLabel(
      QStringLiteral("查看记录"), kLinkColour, [this] { Label8Click(); }, this);
  Label8->setObjectName(QStringLiteral("Label8"));
  Label10 = new LinkLabel(
      QStringLiteral("在线学生"), kLinkColour, [this] { Label10Click(); }, this);
  Label10->setObjectName(QStringLiteral("Label10"));
  Label11 = new LinkLabel(
      QStringLiteral("作业情况"), kLinkColour, [this] { Label11Click(); }, this);
  Label11->setObjectName(QStringLiteral("Label11"));
  Label4 = MakeColouredLabel(
      this, "Label4", QStringLiteral("学生虚拟盘目录＝[学生组根目录]\\[班级名称]\\[学生姓名]"),
      kGreen);
  Button3 = Make<QPushButton>(this, "Button3", QStringLiteral("保存"));
  Button6 = Make<QPushButton>(this, "Button6", QStringLiteral("退出"));

  Panel4 = MakeStrip(this, "Panel4");
  Label3 = Make<QLabel>(this, "Label3", QStringLiteral("选择班级："));
  ComboBox1 = Make<QComboBox>(this, "ComboBox1");
  Label9 = new LinkLabel(
      QStringLiteral("当前班级"), kLinkColour, [this] { Label9Click(); }, this);
  Label9->setObjectName(QStringLiteral("Label9"));
  Button4 = Make<QPushButton>(this, "Button4", QStringLiteral("+"));
  Button5 = Make<QPushButton>(this, "Button5", QStringLiteral("－"));
  ListView1 = Make<QTableWidget>(this, "ListView1", 0, kStudentColumns);
  Label5 = Make<QLabel>(this, "Label5", QStringLiteral("姓名："));
  Edit1 = Make<QLineEdit>(this, "Edit1");
  Button9 = Make<QPushButton>(this, "Button9", QStringLiteral("查找"));
  Button7 = Make<QPushButton>(this, "Button7", QStringLiteral("添加"));
  Button8 = Make<QPushButton>(this, "Button8", QStringLiteral("删除"));
  Label6 = new LinkLabel(
      QStringLiteral("打赏作者"), kGreen, [this] { Label6Click(); }, this);
  Label6->setObjectName(QStringLiteral("Label6"));

  RootPathEdit->setReadOnly(true);
  PublicPathEdit->setReadOnly(true);
  RootPathEdit->setMinimumWidth(320);
  ComboBox1->setEditable(false);
  ComboBox1->setMinimumWidth(180);
  for (QPushButton* small : {Button1, Button2, Button4, Button5}) small->setFixedWidth(32);

  ConfigureReportList(*ListView1,
                      {QStringLiteral("Id"), QStringLiteral("班级"), QStringLiteral("姓名"),
                       QStringLiteral("登陆ID"), QStringLiteral("密码")});
  ListView1->horizontalHeader()->setSectionsClickable(true);
  ListView1->horizontalHeader()->setStretchLastSection(true);
  ListView1->setMinimumSize(600, 280);
  ListView1->verticalHeader()->setDefaultSectionSize(ListView1->fontMetrics().height() + 8);
  ListView1->setColumnWidth(0, 60);

  auto* upper = new QGridLayout;
  upper->addWidget(Label1, 0, 0);
  upper->addWidget(RootPathEdit, 0, 1);
  upper->addWidget(Button1, 0, 2);
  upper->addWidget(Button10, 0, 3);
  upper->addWidget(Label2, 1, 0);
  upper->addWidget(PublicPathEdit, 1, 1);
  upper->addWidget(Button2, 1, 2);
  auto* options = new QHBoxLayout;
  for (QWidget* option : {static_cast<QWidget*>(CheckBox2), static_cast<QWidget*>(CheckBox4),
                          static_cast<QWidget*>(CheckBox3), static_cast<QWidget*>(Label7),
                          static_cast<QWidget*>(Label8), static_cast<QWidget*>(Label10),
                          static_cast<QWidget*>(Label11)}) {
    options->addWidget(option);
  }
  options->addStretch();
  upper->addLayout(options, 2, 0, 1, 4);
  auto* actions = new QHBoxLayout;
  actions->addWidget(Label4);
  actions->addStretch();
  actions->addWidget(Button3);
  actions->addWidget(Button6);
  upper->addLayout(actions, 3, 0, 1, 4);

  auto* classRow = new QHBoxLayout;
  classRow->addWidget(Label3);
  classRow->addWidget(ComboBox1);
  classRow->addWidget(Label9);
  classRow->addWidget(Button4);
  classRow->addWidget(Button5);
  classRow->addStretch();
  auto* studentRow = new QHBoxLayout;
  studentRow->addWidget(Label5);
  studentRow->addWidget(Edit1);
  studentRow->addWidget(Button9);
  studentRow->addStretch();
  studentRow->addWidget(Button7);
  studentRow->addWidget(Button8);
  studentRow->addSpacing(12);
  studentRow->addWidget(Label6, 0, Qt::AlignBottom | Qt::AlignRight);
  auto* lower = new QVBoxLayout;
  lower->addLayout(classRow);
  lower->addWidget(ListView1);
  lower->addLayout(studentRow);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(StartProblem);
  layout->addWidget(MakePanel(this, Panel2, upper));
  layout->addWidget(MakePanel(this, Panel4, lower));
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
  connect(Button10, &QPushButton::clicked, this, [this] { Button10Click(); });
  // toggled, not clicked: a state set from code runs the handler too, but only on a real change.
  connect(CheckBox2, &QCheckBox::toggled, this, [this] { CheckBox2Click(); });
  connect(CheckBox3, &QCheckBox::toggled, this, [this] { CheckBox3Click(); });
  connect(CheckBox4, &QCheckBox::toggled, this, [this] { CheckBox4Click(); });
  // activated, not currentIndexChanged: only the operator's pick is a class change.
  connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
  connect(Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
  connect(ListView1->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { ListView1ColumnClick(column); });
  connect(Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
  connect(Button8, &QPushButton::clicked, this, [this] { Button8Click(); });
  connect(Button9, &QPushButton::clicked, this, [this] { Button9Click(); });
}

}  // namespace orvo::console
