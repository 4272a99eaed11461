#include "console/QtDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <vector>

namespace orvo::console {

void QtDialogs::Error(const QString& message) {
  QMessageBox::critical(QApplication::activeWindow(), title_, message);
}

void QtDialogs::Info(const QString& text) {
  QMessageBox::information(QApplication::activeWindow(), title_, text);
}

QString QtDialogs::InputBox(const QString& caption, const QString& prompt,
                            const QString& defaultText) {
  bool ok = false;
  const QString text = QInputDialog::getText(QApplication::activeWindow(), caption, prompt,
                                             QLineEdit::Normal, defaultText, &ok);
  return ok ? text : defaultText;
}

std::optional<QString> QtDialogs::PickFolder(const QString& prompt, const QString& startFolder) {
  const QString folder = QFileDialog::getExistingDirectory(QApplication::activeWindow(), prompt,
                                                           QDir::fromNativeSeparators(startFolder),
                                                           QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  // Qt answers with '/' everywhere; on Windows the folder is stored and sent to clients with the
  // host's own separators.
  return QDir::toNativeSeparators(folder);
}

std::optional<QString> QtDialogs::PickOpenFile(const QString& prompt, const QString& startFolder,
                                               const QString& filter) {
  const QString file = QFileDialog::getOpenFileName(
      QApplication::activeWindow(), prompt, QDir::fromNativeSeparators(startFolder), filter);
  if (file.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(file);
}

std::optional<QString> QtDialogs::PickSaveFile(const QString& prompt, const QString& suggestedPath,
                                               const QString& filter) {
  const QString file = QFileDialog::getSaveFileName(
      QApplication::activeWindow(), prompt, QDir::fromNativeSeparators(suggestedPath), filter);
  if (file.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(file);
}

bool QtDialogs::Confirm(const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                  QApplication::activeWindow());
  return box.exec() == QMessageBox::Ok;
}

int QtDialogs::Choose(const QString& title, const QString& text, const QStringList& buttons) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton,
                  QApplication::activeWindow());
  std::vector<QAbstractButton*> shown;
  for (const QString& caption : buttons) {
    shown.push_back(box.addButton(caption, QMessageBox::ActionRole));
  }
  // Closing the box by its frame or Escape picks no button.
  box.setEscapeButton(static_cast<QAbstractButton*>(nullptr));
  box.exec();
  const auto pressed = std::find(shown.begin(), shown.end(), box.clickedButton());
  return pressed == shown.end() ? -1 : static_cast<int>(pressed - shown.begin());
}

bool QtDialogs::RunModal(QDialog& dialog) {
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace orvo::console
