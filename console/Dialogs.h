// The console's modal dialogs behind one interface, so that windows stay testable: the program
// uses QtDialogs, tests answer from a script. Window thread only. Implementations raise nothing.
#pragma once

#include <QString>
#include <QStringList>
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
  // A folder picker under `prompt`, opening at `startFolder` (the picker's own choice when it is
  // empty or missing): the chosen folder's full path, nothing when cancelled.
  virtual std::optional<QString> PickFolder(const QString& prompt, const QString& startFolder) = 0;
  // A picker of an existing file under `prompt`, opening at `startFolder`, offering the files
  // `filter` names ("文本 (*.txt)"; empty: every file): the file's full path, nothing when
  // cancelled.
  virtual std::optional<QString> PickOpenFile(const QString& prompt, const QString& startFolder,
                                              const QString& filter) = 0;
  // A picker of where to save under `prompt`, proposing `suggestedPath`, offering the files
  // `filter` names: the path chosen (the picker has asked before an existing file is replaced),
  // nothing when cancelled.
  virtual std::optional<QString> PickSaveFile(const QString& prompt, const QString& suggestedPath,
                                              const QString& filter) = 0;
  // A box with `title`, `text` and the buttons OK and Cancel: whether OK was pressed.
  virtual bool Confirm(const QString& title, const QString& text) = 0;
  // A box with `title`, `text` and one button per caption in `buttons`: the index of the button
  // pressed, -1 when the box was closed without one.
  virtual int Choose(const QString& title, const QString& text, const QStringList& buttons) = 0;
  // Shows `dialog` modally until it closes: whether it closed with the result OK (accepted).
  virtual bool RunModal(QDialog& dialog) = 0;
};

}  // namespace orvo::console
