// Dialogs for window tests: every box shown is recorded, and the answers of input boxes, folder
// and file pickers, confirmations, choices and modal dialogs come from queues the test fills
// beforehand. A box that finds no answer waiting fails the test and is treated as cancelled.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "console/Dialogs.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace orvo::testing {

class ScriptedDialogs final : public console::Dialogs {
 public:
  enum class Kind { Error, Info, Input, Folder, OpenFile, SaveFile, Confirm, Choice, Modal };
  struct Shown {
    Kind kind;
    QString caption;  // input box caption, confirmation or choice title, modal dialog's title
    QString text;     // message, prompt, confirmation or choice text
    // A folder or file picker's start folder (or suggested path) and filter; a choice's buttons.
    QStringList options = {};
  };

  // nullopt cancels.
  void AnswerInput(std::optional<QString> text) { inputs_.push_back(std::move(text)); }
  void AnswerFolder(std::optional<QString> folder) { folders_.push_back(std::move(folder)); }
  void AnswerOpenFile(std::optional<QString> file) { openFiles_.push_back(std::move(file)); }
  void AnswerSaveFile(std::optional<QString> file) { saveFiles_.push_back(std::move(file)); }
  void AnswerConfirm(bool ok) { confirms_.push_back(ok); }
  // The index of the button pressed; -1 closes the box without one.
  void AnswerChoice(int button) { choices_.push_back(button); }
  // Runs with the dialog as shown and says whether it closed with OK.
  void AnswerModal(std::function<bool(QDialog&)> answer) { modals_.push_back(std::move(answer)); }

  void Error(const QString& message) override { shown_.push_back({Kind::Error, {}, message}); }
  void Info(const QString& text) override { shown_.push_back({Kind::Info, {}, text}); }
  QString InputBox(const QString& caption, const QString& prompt,
                   const QString& defaultText) override {
    shown_.push_back({Kind::Input, caption, prompt});
    const std::optional<QString> answer = Next(inputs_, "input box", std::optional<QString>());
    return answer ? *answer : defaultText;
  }
  std::optional<QString> PickFolder(const QString& prompt, const QString& startFolder) override {
    shown_.push_back({Kind::Folder, {}, prompt, {startFolder}});
    return Next(folders_, "folder picker", std::optional<QString>());
  }
  std::optional<QString> PickOpenFile(const QString& prompt, const QString& startFolder,
                                      const QString& filter) override {
    shown_.push_back({Kind::OpenFile, {}, prompt, {startFolder, filter}});
    return Next(openFiles_, "file picker", std::optional<QString>());
  }
  std::optional<QString> PickSaveFile(const QString& prompt, const QString& suggestedPath,
                                      const QString& filter) override {
    shown_.push_back({Kind::SaveFile, {}, prompt, {suggestedPath, filter}});
    return Next(saveFiles_, "save picker", std::optional<QString>());
  }
  bool Confirm(const QString& title, const QString& text) override {
    shown_.push_back({Kind::Confirm, title, text});
    return Next(confirms_, "confirmation", false);
  }
  int Choose(const QString& title, const QString& text, const QStringList& buttons) override {
    shown_.push_back({Kind::Choice, title, text, buttons});
    return Next(choices_, "choice", -1);
  }
  bool RunModal(QDialog& dialog) override {
    shown_.push_back({Kind::Modal, dialog.windowTitle(), {}});
    const auto answer = Next(modals_, "modal dialog", std::function<bool(QDialog&)>());
    return answer ? answer(dialog) : false;
  }

  const std::vector<Shown>& AllShown() const { return shown_; }
  // The texts of the boxes of one kind, in the order they were shown.
  std::vector<QString> Texts(Kind kind) const {
    std::vector<QString> texts;
    for (const Shown& shown : shown_) {
      if (shown.kind == kind) texts.push_back(shown.text);
    }
    return texts;
  }
  std::vector<QString> Errors() const { return Texts(Kind::Error); }
  std::vector<QString> Infos() const { return Texts(Kind::Info); }
  // The start folders of the folder pickers shown, in order.
  std::vector<QString> PickerStarts() const {
    std::vector<QString> starts;
    for (const Shown& shown : shown_) {
      if (shown.kind == Kind::Folder) starts.push_back(shown.options.value(0));
    }
    return starts;
  }
  void Forget() { shown_.clear(); }
  bool AllAnswersUsed() const {
    return inputs_.empty() && folders_.empty() && openFiles_.empty() && saveFiles_.empty() &&
           confirms_.empty() && choices_.empty() && modals_.empty();
  }

 private:
  template <typename T>
  T Next(std::deque<T>& queue, const char* what, T cancelled) {
    if (queue.empty()) {
      ADD_FAILURE() << "no answer scripted for a " << what;
      return cancelled;
    }
    // GCC 12 at -O3 takes the moved-from optional<QString> for uninitialised (a false alarm).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
    T answer = std::move(queue.front());
    queue.pop_front();
    return answer;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
  }

  std::vector<Shown> shown_;
  std::deque<std::optional<QString>> inputs_;
  std::deque<std::optional<QString>> folders_;
  std::deque<std::optional<QString>> openFiles_;
  std::deque<std::optional<QString>> saveFiles_;
  std::deque<bool> confirms_;
  std::deque<int> choices_;
  std::deque<std::function<bool(QDialog&)>> modals_;
};

}  // namespace orvo::testing
