// The "文件夹打包" action of the main window: asks for a folder, packs it into a zip archive beside
// it and reports each file and the end in a status text. The window keeps processing its events
// between two files, so the operator can go on working meanwhile; a second packing asked for
// during one is refused. Failures go to an error box. Window thread only.
#pragma once

#include <QString>
#include <functional>

namespace orvo::console {

class Dialogs;

class PackFolderAction {
 public:
  static const QString kPrompt;
  static const QString kPackingText;   // followed by the file's path relative to the folder
  static const QString kFinishedText;  // followed by the archive's path
  static const QString kBusyText;

  // `showStatus` puts a text in the window's status label.
  PackFolderAction(Dialogs& dialogs, std::function<void(const QString&)> showStatus);

  // Picks a folder and packs it; nothing happens when the picker is cancelled.
  void Run();
  bool Running() const { return running_; }

 private:
  Dialogs& dialogs_;
  std::function<void(const QString&)> showStatus_;
  bool running_ = false;
};

}  // namespace orvo::console
