// TMoneyFrm: the support dialog, shown (not modally) by the main window's support link. Its one
// picture is built into the program, so it shows at once and never touches the network.
// Window thread only.
#pragma once

#include <QDialog>

class QLabel;

namespace orvo::console {

class TMoneyFrm final : public QDialog {
 public:
  // The picture among the program's resources (console/resources).
  static constexpr char kPicture[] = ":/console/support.png";
  // Shown in place of the picture should the program lack it.
  static const QString kMissingText;

  explicit TMoneyFrm(QWidget* parent = nullptr);

  // The support link: shows the dialog and brings it to the front.
  void ShowSupport();

  bool PictureLoaded() const;

  // The picture, stretched over the whole dialog.
  QLabel* Image1;
};

}  // namespace orvo::console
