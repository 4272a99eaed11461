#include "console/MoneyUnit.h"

#include <QLabel>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace orvo::console {

const QString TMoneyFrm::kLoadingText = QStringLiteral("正在加载图片……");
const QString TMoneyFrm::kFailedText = QStringLiteral("图片加载失败，再次点击重试");

TMoneyFrm::TMoneyFrm(QWidget* parent) : TMoneyFrm(QUrl(QString::fromLatin1(kPictureUrl)), parent) {}

TMoneyFrm::TMoneyFrm(const QUrl& pictureUrl, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      url_(pictureUrl),
      network_(new QNetworkAccessManager(this)) {
  setObjectName(QStringLiteral("MoneyFrm"));
  setWindowTitle(QStringLiteral("你的打赏是我的动力"));
  Image1 = new QLabel(this);
  Image1->setObjectName(QStringLiteral("Image1"));
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setScaledContents(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Image1);
  setFixedSize(400, 400);
  if (const QScreen* screen = this->screen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TMoneyFrm::ShowSupport() {
  FetchPicture();
  show();
  raise();
  activateWindow();
}

void TMoneyFrm::showEvent(QShowEvent* event) {
  FetchPicture();
  QDialog::showEvent(event);
}

void TMoneyFrm::mousePressEvent(QMouseEvent* event) {
  // The failure text asks for a click: it tries again.
  if (event->button() == Qt::LeftButton) FetchPicture();
  QDialog::mousePressEvent(event);
}

void TMoneyFrm::FetchPicture() {
  if (loaded_ || reply_) return;
  QNetworkRequest request(url_);
  request.setTransferTimeout(kFetchTimeoutMs);
  Image1->setText(kLoadingText);
  reply_ = network_->get(request);
  connect(reply_, &QNetworkReply::finished, this, [this] { PictureArrived(); });
}

void TMoneyFrm::PictureArrived() {
  QNetworkReply* reply = reply_;
  reply_ = nullptr;
  reply->deleteLater();
  QPixmap picture;
  if (reply->error() == QNetworkReply::NoError && picture.loadFromData(reply->readAll())) {
    Image1->setPixmap(picture);
    loaded_ = true;
    return;
  }
  Image1->setText(kFailedText);
}

}  // namespace orvo::console
