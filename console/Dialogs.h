// The console's modal dialogs behind one interface, so that windows stay testable: the program
// uses QtDialogs, tests answer from a script. Window thread only. Implementations raise nothing.
#pragma once

#include <QString>
#include <optional>

class QDialog;

namespace orvo::console {

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // An error box showing a failure's message.
  virtual void Error(const QString& message) = 0;
  // A message box with one text and an OK button.
  virtual void Info(const QString& text) = 0;
  // An input box: the edited text on OK, `defaultText` when it was cancelled or closed.
  virtual QString InputBox(const QString& caption, const QString& prompt,
                           const QString& defaultText) = 0;
  // A folder picker under `prompt`: the chosen folder's full path, nothing when cancelled.
  virtual std::optional<QString> PickFolder(const QString& prompt) = 0;
  // A box with `title`, `text` and the buttons OK and Cancel: whether OK was pressed.
  virtual bool Confirm(const QString& title, const QString& text) = 0;
  // Shows `dialog` modally until it closes: whether it closed with the result OK (accepted).
  virtual bool RunModal(QDialog& dialog) = 0;
};

}  // namespace orvo::console
