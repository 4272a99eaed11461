#include "console/AddUserUnit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvo::console {

TAddUserFrm::TAddUserFrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      Memo1(new QPlainTextEdit(this)),
      Label1(new QLabel(QStringLiteral("一行一个名字，重名会自动剔除。"), this)),
      Button1(new QPushButton(QStringLiteral("添加"), this)),
      Button2(new QPushButton(QStringLiteral("取消"), this)) {
  setObjectName(QStringLiteral("AddUserFrm"));
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Label1->setObjectName(QStringLiteral("Label1"));
  Button1->setObjectName(QStringLiteral("Button1"));
  Button2->setObjectName(QStringLiteral("Button2"));
  Memo1->setMinimumSize(320, 300);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  // Enter belongs to the memo (a new line), not to a default button.
  Button1->setAutoDefault(false);
  Button2->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Memo1);
  layout->addWidget(Label1);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

QStringList TAddUserFrm::Names() const {
  return Memo1->toPlainText().split(QLatin1Char('\n'));
}

}  // namespace orvo::console
