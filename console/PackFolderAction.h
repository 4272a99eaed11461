// The "文件夹打包" action of the main window: asks for a folder, packs it into a zip archive beside
// it on a worker thread and reports each file and the end in a status text, so the window stays
// responsive meanwhile. A second packing asked for during one is refused; Stop (and destruction)
// ends a packing under way and removes its unfinished archive. Failures go to an error box.
// Window thread only; the packer runs on the worker thread.
#pragma once

#include <QString>
#include <functional>
#include <stop_token>
#include <string>

#include "console/WindowWorker.h"

namespace orvo::pack {
struct PackProgress;
struct PackResult;
}  // namespace orvo::pack

namespace orvo::console {

class Dialogs;

// The error box's text for a packing that did not complete, in the window's language: what could
// not be done to which file with the system's reason, then what became of an archive that was
// begun (finished with the files packed before, or removed).
QString PackErrorText(const pack::PackResult& result);

class PackFolderAction {
 public:
  static const QString kPrompt;
  static const QString kPackingText;   // followed by the file's path relative to the folder
  static const QString kFinishedText;  // followed by the archive's path
  static const QString kBusyText;
  static const QString kFailedText;  // followed by what a packer raised

  // Packs `folder` reporting to `progress`; `stop` is asked when the packing should end early
  // (the progress object then raises at the next file).
  using Packer = std::function<pack::PackResult(
      const std::string& folder, pack::PackProgress& progress, std::stop_token stop)>;

  // `showStatus` puts a text in the window's status label; `startFolder` names the folder the
  // picker opens at (asked at each packing); `ended` runs once a packing's end or failure has
  // been shown. All run on the window thread; the last two may be empty.
  PackFolderAction(Dialogs& dialogs, std::function<void(const QString&)> showStatus,
                   std::function<QString()> startFolder = {}, std::function<void()> ended = {});
  ~PackFolderAction();
  PackFolderAction(const PackFolderAction&) = delete;
  PackFolderAction& operator=(const PackFolderAction&) = delete;

  // Replaces pack::PackFolder, so that tests can hold a packing where they need it.
  void UsePacker(Packer packer) { packer_ = std::move(packer); }

  // Picks a folder (the picker opens at the start folder) and starts packing it; nothing happens
  // when the picker is cancelled.
  void Run();
  // From Run until the end has been shown, or until Stop.
  bool Running() const { return running_; }
  // Ends a packing under way and waits for its thread; its unfinished archive is removed and
  // nothing more is shown for it.
  void Stop();

 private:
  struct Outcome;
  // The worker thread's body.
  void Pack(const std::string& folder, std::stop_token stop);
  void Finished(const Outcome& outcome);

  Dialogs& dialogs_;
  std::function<void(const QString&)> showStatus_;
  std::function<QString()> startFolder_;
  std::function<void()> ended_;
  Packer packer_;
  bool running_ = false;
  WindowWorker worker_;  // last: its job ends before anything it uses goes
};

}  // namespace orvo::console
