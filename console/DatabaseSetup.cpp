#include "console/DatabaseSetup.h"

#include <QStringList>
#include <filesystem>
#include <optional>
#include <system_error>

#include "console/Dialogs.h"
#include "console/WindowSupport.h"
#include "platform/PathSyntax.h"
#include "platform/Utf8Path.h"
#include "service/OrvoService.h"
#include "store/CreateDatabase.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::console {
namespace {

std::string DatabasePathIn(const std::string& folder) {
  return platform::JoinPath(folder, store::kDatabaseFileName);
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(platform::Utf8Path(path), ignored);
}

}  // namespace

std::string OfferDatabase(std::string folder, Dialogs& dialogs) {
  const QStringList buttons{QStringLiteral("在此新建数据库"), QStringLiteral("选择其他文件夹"),
                            QStringLiteral("取消")};
  for (;;) {
    const std::string path = DatabasePathIn(folder);
    if (Exists(path)) return folder;
    const int choice = dialogs.Choose(
        QStringLiteral("找不到数据库"),
        QStringLiteral("找不到数据库文件：\n%1\n\n可以在这个文件夹新建一个空的数据库，"
                       "或者选择另一个存有 %2 的文件夹。")
            .arg(Text(path), QString::fromLatin1(store::kDatabaseFileName)),
        buttons);
    if (choice == kCreateDatabase) {
      try {
        store::CreateDatabaseFile(path, std::string(store::SchemaSql()));
        return folder;
      } catch (const std::exception& e) {
        dialogs.Error(QStringLiteral("无法新建数据库文件 %1：%2").arg(Text(path), Text(e.what())));
      }
    } else if (choice == kPickDatabaseFolder) {
      const std::optional<QString> picked =
          dialogs.PickFolder(QStringLiteral("选择存有 orvoDisk.db 的文件夹"), Text(folder));
      if (picked) folder = Utf8(*picked);
    } else {
      return folder;
    }
  }
}

QString StartFailureText(const std::string& databasePath, uint16_t port,
                         const std::exception& failure) {
  const QString detail = Text(failure.what());
  if (dynamic_cast<const service::DatabaseUnusable*>(&failure) != nullptr) {
    if (!Exists(databasePath)) {
      return QStringLiteral(
                 "服务没有启动：找不到数据库文件 %1。退出后再启动控制台，即可在这里新建数据库")
          .arg(Text(databasePath));
    }
    return QStringLiteral("服务没有启动：数据库文件 %1 无法使用（%2）")
        .arg(Text(databasePath), detail);
  }
  return QStringLiteral(
             "服务没有启动：端口 %1 可能已被占用，或者已有服务端在使用这个数据库（%2）。"
             "关闭另一个服务端后再启动控制台")
      .arg(port)
      .arg(detail);
}

}  // namespace orvo::console
