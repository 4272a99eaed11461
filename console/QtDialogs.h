// Dialogs on Qt's standard message box, input dialog and file and folder pickers, owned by the
// window that is active when they open. Window thread only.
#pragma once

#include <utility>

#include "console/Dialogs.h"

namespace orvo::console {

class QtDialogs final : public Dialogs {
 public:
  // `title` heads the message and error boxes.
  explicit QtDialogs(QString title) : title_(std::move(title)) {}

  void Error(const QString& message) override;
  void Info(const QString& text) override;
  QString InputBox(const QString& caption, const QString& prompt,
                   const QString& defaultText) override;
  std::optional<QString> PickFolder(const QString& prompt, const QString& startFolder) override;
  std::optional<QString> PickOpenFile(const QString& prompt, const QString& startFolder,
                                      const QString& filter) override;
  std::optional<QString> PickSaveFile(const QString& prompt, const QString& suggestedPath,
                                      const QString& filter) override;
  bool Confirm(const QString& title, const QString& text) override;
  int Choose(const QString& title, const QString& text, const QStringList& buttons) override;
  bool RunModal(QDialog& dialog) override;

 private:
  QString title_;
};

}  // namespace orvo::console
