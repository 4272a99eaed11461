// A label drawn as a link (underlined, hand cursor, its own colour) that reports a single click of
// the left mouse button, pressed and released on it. Window thread only.
#pragma once

#include <QColor>
#include <QLabel>
#include <QMouseEvent>
#include <functional>
#include <utility>

namespace orvo::console {

class LinkLabel final : public QLabel {
 public:
  LinkLabel(const QString& text, const QColor& colour, std::function<void()> onClick,
            QWidget* parent = nullptr)
      : QLabel(text, parent), onClick_(std::move(onClick)) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, colour);
    setPalette(colours);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click && onClick_) onClick_();
  }

 private:
  std::function<void()> onClick_;
  bool pressed_ = false;
};

}  // namespace orvo::console
