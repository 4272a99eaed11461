#include "console/StatusLine.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QTimer>

namespace orvo::console {

StatusLine::StatusLine(QLabel& label)
    : QObject(&label), label_(label), hint_(label.text()), text_(hint_) {
  hintTimer_ = new QTimer(this);
  hintTimer_->setObjectName(QStringLiteral("HintTimer"));
  hintTimer_->setSingleShot(true);
  hintTimer_->setInterval(kHintBackMs);
  connect(hintTimer_, &QTimer::timeout, this, [this] { ShowHint(); });
  label_.installEventFilter(this);
}

void StatusLine::Show(const QString& text) {
  hintTimer_->stop();
  text_ = text;
  label_.setToolTip(text);
  Elide();
}

void StatusLine::HintLater() {
  hintTimer_->start();
}

void StatusLine::ShowHint() {
  hintTimer_->stop();
  text_ = hint_;
  label_.setToolTip(QString());
  Elide();
}

bool StatusLine::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &label_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
    Elide();
  }
  return QObject::eventFilter(watched, event);
}

void StatusLine::Elide() {
  // A hidden label has no width of its own yet; it is elided when it is shown.
  if (!label_.isVisible()) {
    label_.setText(text_);
    return;
  }
  const int width = label_.contentsRect().width();
  label_.setText(label_.fontMetrics().elidedText(text_, Qt::ElideMiddle, width));
}

}  // namespace orvo::console
