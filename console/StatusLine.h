// A status label that shows passing texts of any length elided in the middle to its width (so
// both ends of a path stay readable), the whole text in its tooltip, and comes back to the hint
// it showed at first a while after a final text, or at once when asked. The label owns it.
// Window thread only.
#pragma once

#include <QObject>
#include <QString>

class QLabel;
class QTimer;

namespace orvo::console {

class StatusLine final : public QObject {
 public:
  // How long a final text stays before the hint comes back.
  static constexpr int kHintBackMs = 8000;

  // The label's present text is the hint; `label` becomes the owner.
  explicit StatusLine(QLabel& label);

  // A text that stays until the next one.
  void Show(const QString& text);
  // The text shown stays for kHintBackMs, then the hint comes back.
  void HintLater();
  // The hint, at once.
  void ShowHint();

  const QString& Hint() const { return hint_; }
  // Runs ShowHint when it fires; tests call ShowHint instead of waiting for it.
  QTimer* HintTimer() const { return hintTimer_; }

 protected:
  // Elides the text again when the label is shown or its width changes.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Elide();

  QLabel& label_;
  const QString hint_;
  QString text_;  // the whole text shown, before eliding
  QTimer* hintTimer_;
};

}  // namespace orvo::console
