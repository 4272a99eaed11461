// The support dialog against a loopback HTTP responder: the picture arrives without the dialog
// waiting for it, a failed fetch shows a short text, and the next showing or click fetches again.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <memory>

#include "console/MoneyUnit.h"

namespace orvo::testing {
namespace {

using console::TMoneyFrm;

constexpr int kWaitMs = 20000;  // a bound for a broken build, never reached by a working one

QByteArray SmallPng() {
  QImage image(6, 4, QImage::Format_RGB32);
  image.fill(Qt::darkGreen);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

// A tiny HTTP responder on a loopback port, answering every request as told.
class PictureServer {
 public:
  enum class Answer { Picture, NotFound, NotAnImage, HangUp, Silent };

  PictureServer() {
    EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { Accept(); });
  }

  QUrl Url() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1/support.png").arg(server_.serverPort()));
  }
  void SetAnswer(Answer answer) { answer_ = answer; }
  int Requests() const { return requests_; }

 private:
  void Accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      auto received = std::make_shared<QByteArray>();
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
        received->append(socket->readAll());
        if (!received->contains("\r\n\r\n")) return;
        received->clear();
        ++requests_;
        Respond(*socket);
      });
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  }

  void Respond(QTcpSocket& socket) {
    const auto send = [&socket](const QByteArray& status, const QByteArray& body) {
      socket.write("HTTP/1.1 " + status + "\r\nContent-Type: image/png\r\nContent-Length: " +
                   QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
      socket.disconnectFromHost();
    };
    switch (answer_) {
      case Answer::Picture:
        return send("200 OK", SmallPng());
      case Answer::NotFound:
        return send("404 Not Found", "gone");
      case Answer::NotAnImage:
        return send("200 OK", "these bytes are no picture");
      case Answer::HangUp:
        socket.abort();
        return;
      case Answer::Silent:
        return;
    }
  }

  QTcpServer server_;
  Answer answer_ = Answer::Picture;
  int requests_ = 0;
};

bool ShowsPicture(const TMoneyFrm& dialog) {
  return dialog.PictureLoaded() && !dialog.Image1->pixmap().isNull();
}

bool WaitForFetch(const TMoneyFrm& dialog) {
  return QTest::qWaitFor([&dialog] { return !dialog.Fetching(); }, kWaitMs);
}

TEST(SupportDialogTest, PictureIsShownWhenItArrivesAndFetchedOnlyOnce) {
  PictureServer server;
  TMoneyFrm dialog(server.Url());
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("你的打赏是我的动力"));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";
  EXPECT_EQ(server.Requests(), 0) << "nothing is fetched before the dialog is asked for";

  dialog.ShowSupport();
  // Shown at once, before any answer could have been read: the window did not wait.
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(dialog.Fetching());
  EXPECT_EQ(dialog.Image1->text(), TMoneyFrm::kLoadingText);

  ASSERT_TRUE(WaitForFetch(dialog));
  ASSERT_TRUE(ShowsPicture(dialog));
  EXPECT_EQ(dialog.Image1->pixmap().size(), QSize(6, 4));
  EXPECT_TRUE(dialog.Image1->hasScaledContents()) << "stretched over the dialog";

  dialog.hide();
  dialog.ShowSupport();
  QTest::mouseClick(&dialog, Qt::LeftButton);
  EXPECT_FALSE(dialog.Fetching());
  EXPECT_EQ(server.Requests(), 1);
}

TEST(SupportDialogTest, FailedFetchSaysSoAndTheNextClickRetries) {
  const struct {
    const char* name;
    PictureServer::Answer answer;
  } kFailures[] = {
      {"not found", PictureServer::Answer::NotFound},
      {"not an image", PictureServer::Answer::NotAnImage},
      {"connection dropped", PictureServer::Answer::HangUp},
  };
  for (const auto& failure : kFailures) {
    SCOPED_TRACE(failure.name);
    PictureServer server;
    server.SetAnswer(failure.answer);
    TMoneyFrm dialog(server.Url());
    dialog.ShowSupport();
    ASSERT_TRUE(WaitForFetch(dialog));
    EXPECT_FALSE(dialog.PictureLoaded());
    EXPECT_EQ(dialog.Image1->text(), TMoneyFrm::kFailedText);

    // The same failure again through the link, then a click on the dialog once the server
    // answers properly.
    dialog.ShowSupport();
    EXPECT_TRUE(dialog.Fetching());
    ASSERT_TRUE(WaitForFetch(dialog));
    EXPECT_EQ(dialog.Image1->text(), TMoneyFrm::kFailedText);

    server.SetAnswer(PictureServer::Answer::Picture);
    QTest::mouseClick(&dialog, Qt::LeftButton);
    EXPECT_TRUE(dialog.Fetching());
    ASSERT_TRUE(WaitForFetch(dialog));
    EXPECT_TRUE(ShowsPicture(dialog));
  }
}

TEST(SupportDialogTest, AddressWhereNothingListensFails) {
  quint16 port = 0;
  {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    port = probe.serverPort();
  }  // closed: nothing listens there now
  TMoneyFrm dialog(QUrl(QStringLiteral("http://127.0.0.1:%1/support.png").arg(port)));
  dialog.ShowSupport();
  ASSERT_TRUE(WaitForFetch(dialog));
  EXPECT_FALSE(dialog.PictureLoaded());
  EXPECT_EQ(dialog.Image1->text(), TMoneyFrm::kFailedText);
}

TEST(SupportDialogTest, DialogMayGoWhileAFetchIsUnderWay) {
  PictureServer server;
  server.SetAnswer(PictureServer::Answer::Silent);
  auto dialog = std::make_unique<TMoneyFrm>(server.Url());
  dialog->ShowSupport();
  ASSERT_TRUE(QTest::qWaitFor([&server] { return server.Requests() == 1; }, kWaitMs));
  EXPECT_TRUE(dialog->Fetching());
  dialog.reset();  // as at the end of the program
  QCoreApplication::processEvents();
}

}  // namespace
}  // namespace orvo::testing
