// The support dialog: its picture is part of the program and shows at once, with no request
// anywhere.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPixmap>

#include "console/MoneyUnit.h"

namespace orvo::testing {
namespace {

using console::TMoneyFrm;

TEST(SupportDialogTest, ShowsTheBuiltInPictureAtOnce) {
  TMoneyFrm dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("你的打赏是我的动力"));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";
  dialog.ShowSupport();
  // Nothing was waited for: a picture fetched from anywhere could not be here yet.
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_TRUE(dialog.PictureLoaded()) << dialog.Image1->text().toStdString();
  EXPECT_EQ(dialog.Image1->pixmap().size(), QSize(400, 400));
  EXPECT_TRUE(dialog.Image1->hasScaledContents()) << "stretched over the dialog";
  EXPECT_FALSE(QPixmap(QString::fromLatin1(TMoneyFrm::kPicture)).isNull());
}

}  // namespace
}  // namespace orvo::testing
