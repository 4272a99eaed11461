#include "console/MoneyUnit.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include "console/WindowSupport.h"

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void RegisterConsoleResources() {
  Q_INIT_RESOURCE(console);
}

namespace orvo::console {

const QString TMoneyFrm::kMissingText = QStringLiteral("图片缺失");

TMoneyFrm::TMoneyFrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("MoneyFrm"));
  setWindowTitle(QStringLiteral("你的打赏是我的动力"));
  Image1 = Make<QLabel>(this, "Image1");
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setScaledContents(true);
  RegisterConsoleResources();
  const QPixmap picture(QString::fromLatin1(kPicture));
  if (picture.isNull()) {
    Image1->setText(kMissingText);
  } else {
    Image1->setPixmap(picture);
  }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Image1);
  setFixedSize(400, 400);
  CentreOnScreen(*this);
}

void TMoneyFrm::ShowSupport() {
  show();
  raise();
  activateWindow();
}

bool TMoneyFrm::PictureLoaded() const {
  return !Image1->pixmap().isNull();
}

}  // namespace orvo::console
