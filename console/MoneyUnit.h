// TMoneyFrm: the support dialog, shown (not modally) by the main window's support link. It shows
// one picture fetched over HTTP. The fetch runs in the background, so no window waits for it; the
// picture appears when it arrives, and after a failure the next showing or a click on the dialog
// fetches it again. Once loaded it is kept until the program ends. Window thread only.
#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QMouseEvent;
class QNetworkAccessManager;
class QNetworkReply;
class QShowEvent;

namespace orvo::console {

class TMoneyFrm final : public QDialog {
 public:
  // Where the picture comes from; a stand-in until the real address is settled.
  static constexpr char kPictureUrl[] = "http://127.0.0.1:1/support.png";
  // A fetch that has not finished by then counts as failed, so a silent server cannot keep the
  // dialog waiting for ever.
  static constexpr int kFetchTimeoutMs = 15000;
  static const QString kLoadingText;
  static const QString kFailedText;

  explicit TMoneyFrm(QWidget* parent = nullptr);
  // With the picture taken from `pictureUrl` instead of kPictureUrl.
  explicit TMoneyFrm(const QUrl& pictureUrl, QWidget* parent = nullptr);

  // The support link: starts fetching the picture unless it is loaded or on its way, then shows
  // the dialog and brings it to the front.
  void ShowSupport();

  bool PictureLoaded() const { return loaded_; }
  bool Fetching() const { return reply_ != nullptr; }

  // The picture, stretched over the whole dialog; a short text while there is none.
  QLabel* Image1;

 protected:
  void showEvent(QShowEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void FetchPicture();
  void PictureArrived();

  QUrl url_;
  QNetworkAccessManager* network_;
  QNetworkReply* reply_ = nullptr;  // the fetch under way, owned by network_ until it finishes
  bool loaded_ = false;
};

}  // namespace orvo::console
