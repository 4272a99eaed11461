#include "console/PackFolderAction.h"

#include <QCoreApplication>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "console/Dialogs.h"
#include "pack/PackFolder.h"

namespace orvo::console {
namespace {

// Shows each file before it goes in and lets the window handle what piled up meanwhile.
class StatusProgress final : public pack::PackProgress {
 public:
  explicit StatusProgress(const std::function<void(const QString&)>& showStatus)
      : showStatus_(showStatus) {}

  void FilePacking(const std::string& relativePath) override {
    showStatus_(PackFolderAction::kPackingText + QString::fromStdString(relativePath));
    QCoreApplication::processEvents();
  }

 private:
  const std::function<void(const QString&)>& showStatus_;
};

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The error box's text. After a file that could not be opened or read the archive was still
// finished with the files before it, which the operator should know; write failures already say
// what became of the archive.
QString ErrorText(const pack::PackResult& result) {
  std::string text = result.error;
  if (result.archiveKept &&
      (StartsWith(text, "Cannot open file") || StartsWith(text, "Cannot read file"))) {
    text += "\nThe archive \"" + result.archivePath + "\" was finished with the " +
            std::to_string(result.entries) + (result.entries == 1 ? " file" : " files") +
            " packed before.";
  }
  return QString::fromStdString(text);
}

}  // namespace

const QString PackFolderAction::kPrompt = QStringLiteral("选择要打包的文件夹");
const QString PackFolderAction::kPackingText = QStringLiteral("正在打包文件：");
const QString PackFolderAction::kFinishedText = QStringLiteral("打包完成：");
const QString PackFolderAction::kBusyText = QStringLiteral("正在打包文件夹，请等它完成后再打包");

PackFolderAction::PackFolderAction(Dialogs& dialogs, std::function<void(const QString&)> showStatus)
    : dialogs_(dialogs), showStatus_(std::move(showStatus)) {}

void PackFolderAction::Run() {
  // Reached again from the events processed between two files of a packing under way.
  if (running_) {
    dialogs_.Info(kBusyText);
    return;
  }
  const std::optional<QString> folder = dialogs_.PickFolder(kPrompt);
  if (!folder) return;
  running_ = true;
  try {
    StatusProgress progress(showStatus_);
    const pack::PackResult result = pack::PackFolder(folder->toStdString(), progress);
    if (result.complete) {
      showStatus_(kFinishedText + QString::fromStdString(result.archivePath));
    } else {
      dialogs_.Error(ErrorText(result));
    }
  } catch (const std::exception& e) {
    dialogs_.Error(QString::fromUtf8(e.what()));
  }
  running_ = false;
}

}  // namespace orvo::console
