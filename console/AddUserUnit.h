// TAddUserFrm: the modal add-students dialog. The main window sets its caption to name the class,
// empties Memo1 and shows it; "添加" closes it with the result OK, "取消" with Cancel.
// Window thread only.
#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace orvo::console {

class TAddUserFrm final : public QDialog {
 public:
  explicit TAddUserFrm(QWidget* parent = nullptr);

  // The lines of Memo1, one student name each (empty lines included; the store drops them).
  QStringList Names() const;

  QPlainTextEdit* Memo1;
  QLabel* Label1;
  QPushButton* Button1;  // "添加"
  QPushButton* Button2;  // "取消"
};

}  // namespace orvo::console
