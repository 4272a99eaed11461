// Dialogs for window tests: every box shown is recorded, and the answers of input boxes, folder
// pickers, confirmations and modal dialogs come from queues the test fills beforehand. A box that
// finds no answer waiting fails the test and is treated as cancelled.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>
#include <QString>
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
  enum class Kind { Error, Info, Input, Folder, Confirm, Modal };
  struct Shown {
    Kind kind;
    QString caption;  // input box caption, confirmation title, modal dialog's window title
    QString text;     // message, prompt or confirmation text
  };

  // nullopt cancels.
  void AnswerInput(std::optional<QString> text) { inputs_.push_back(std::move(text)); }
  void AnswerFolder(std::optional<QString> folder) { folders_.push_back(std::move(folder)); }
  void AnswerConfirm(bool ok) { confirms_.push_back(ok); }
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
  std::optional<QString> PickFolder(const QString& prompt) override {
    shown_.push_back({Kind::Folder, {}, prompt});
    return Next(folders_, "folder picker", std::optional<QString>());
  }
  bool Confirm(const QString& title, const QString& text) override {
    shown_.push_back({Kind::Confirm, title, text});
    return Next(confirms_, "confirmation", false);
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
  void Forget() { shown_.clear(); }
  bool AllAnswersUsed() const {
    return inputs_.empty() && folders_.empty() && confirms_.empty() && modals_.empty();
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
  std::deque<bool> confirms_;
  std::deque<std::function<bool(QDialog&)>> modals_;
};

}  // namespace orvo::testing
