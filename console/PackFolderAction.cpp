#include "console/PackFolderAction.h"

#include <QFile>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "console/Dialogs.h"
#include "console/WindowSupport.h"
#include "pack/PackFolder.h"

namespace orvo::console {

// What the worker hands to the window thread: the packer's result, or the failure it raised.
struct PackFolderAction::Outcome {
  pack::PackResult result;
  std::optional<QString> raised;
};

namespace {

// Raised from the progress object to end a packing that was asked to stop.
struct PackingStopped {};

// Shows each file before it goes in; ends the packing there once a stop was asked for.
class StatusProgress final : public pack::PackProgress {
 public:
  StatusProgress(std::function<void(const QString&)> post, std::stop_token stop)
      : post_(std::move(post)), stop_(std::move(stop)) {}

  void FilePacking(const std::string& relativePath) override {
    if (stop_.stop_requested()) throw PackingStopped{};
    post_(PackFolderAction::kPackingText + Text(relativePath));
  }

 private:
  std::function<void(const QString&)> post_;
  std::stop_token stop_;
};

pack::PackResult PackWithAllCores(const std::string& folder, pack::PackProgress& progress,
                                  std::stop_token) {
  return pack::PackFolder(folder, progress);
}

}  // namespace

QString PackErrorText(const pack::PackResult& result) {
  QString what;
  switch (result.errorKind) {
    case pack::PackError::None:
      break;
    case pack::PackError::CreateArchive:
      what = QStringLiteral("无法创建文件");
      break;
    case pack::PackError::OpenFile:
      what = QStringLiteral("无法打开文件");
      break;
    case pack::PackError::ReadFile:
      what = QStringLiteral("无法读取文件");
      break;
    case pack::PackError::WriteArchive:
      what = QStringLiteral("无法写入文件");
      break;
  }
  QString text = what + QStringLiteral("“") + Text(result.errorPath) + QStringLiteral("”：") +
                 Text(result.errorReason);
  // An archive that was never begun needs no word (it could not be created, or the folder itself
  // could not be opened); one that was begun was finished with the files before the failure or
  // removed.
  const bool folderItself = result.errorKind == pack::PackError::OpenFile &&
                            pack::ArchivePathFor(result.errorPath) == result.archivePath;
  const bool begun = result.errorKind != pack::PackError::CreateArchive && !folderItself;
  if (begun) {
    text += result.archiveKept
                ? QStringLiteral("\n压缩包保留了之前打包的 %1 个文件。").arg(result.entries)
                : QStringLiteral("\n压缩包已删除。");
  }
  return text;
}

const QString PackFolderAction::kPrompt = QStringLiteral("选择要打包的文件夹");
const QString PackFolderAction::kPackingText = QStringLiteral("正在打包文件：");
const QString PackFolderAction::kFinishedText = QStringLiteral("打包完成：");
const QString PackFolderAction::kFailedText = QStringLiteral("打包失败：");
const QString PackFolderAction::kBusyText = QStringLiteral("正在打包文件夹，请等它完成后再打包");

PackFolderAction::PackFolderAction(Dialogs& dialogs, std::function<void(const QString&)> showStatus,
                                   std::function<QString()> startFolder,
                                   std::function<void()> ended)
    : dialogs_(dialogs),
      showStatus_(std::move(showStatus)),
      startFolder_(std::move(startFolder)),
      ended_(std::move(ended)),
      packer_(PackWithAllCores) {}

PackFolderAction::~PackFolderAction() {
  Stop();
}

void PackFolderAction::Run() {
  if (running_) {
    dialogs_.Info(kBusyText);
    return;
  }
  const std::optional<QString> folder =
      dialogs_.PickFolder(kPrompt, startFolder_ ? startFolder_() : QString());
  if (!folder) return;
  running_ = true;
  worker_.Start(
      [this, path = Utf8(*folder)](std::stop_token stop) { Pack(path, std::move(stop)); });
}

void PackFolderAction::Stop() {
  if (worker_.Stop()) running_ = false;
}

void PackFolderAction::Pack(const std::string& folder, std::stop_token stop) {
  StatusProgress progress(
      [this](const QString& status) { worker_.Post([this, status] { showStatus_(status); }); },
      stop);
  auto outcome = std::make_shared<Outcome>();
  try {
    outcome->result = packer_(folder, progress, stop);
  } catch (const PackingStopped&) {
    // The packer finished the archive with the files before; half an archive under the full
    // one's name would mislead, so it goes.
    QFile::remove(Text(pack::ArchivePathFor(folder)));
    return;
  } catch (const std::exception& e) {
    outcome->raised = kFailedText + QString::fromUtf8(e.what());
  }
  worker_.Post([this, outcome] { Finished(*outcome); });
}

void PackFolderAction::Finished(const Outcome& outcome) {
  worker_.Join();  // it posted this as its last act
  running_ = false;
  if (outcome.raised) {
    dialogs_.Error(*outcome.raised);
  } else if (outcome.result.complete) {
    showStatus_(kFinishedText + Text(outcome.result.archivePath));
  } else {
    dialogs_.Error(PackErrorText(outcome.result));
  }
  if (ended_) ended_();
}

}  // namespace orvo::console
