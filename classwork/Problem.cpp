#include "classwork/Problem.h"

namespace orvo::classwork {
namespace {

// " (reason)" style tails: nothing when the system gave no reason.
std::string Tail(const std::string& separator, const std::string& reason) {
  return reason.empty() ? std::string() : separator + reason;
}

}  // namespace

std::string EnglishText(const Problem& p) {
  const std::string quoted = "\"" + p.subject + "\"";
  const std::string reason = Tail(": ", p.reason);
  switch (p.fault) {
    case Fault::kNoClass:
      return "no class named '" + p.subject + "'";
    case Fault::kNoRootFolder:
      return "no folder for the students' folders is set (orvo-admin settings set --root FOLDER)";
    case Fault::kFolderMissing:
      return "the student folder " + quoted + " does not exist";
    case Fault::kFolderUnreadable:
      return "cannot read the folder " + quoted + reason;
    case Fault::kFileUnreadable:
      return "cannot read the file " + quoted + reason;
    case Fault::kSourceMissing:
      return "cannot read " + quoted + reason;
    case Fault::kBadSubfolder:
      return "'" + p.subject + "' is not a subfolder: give folder names separated by '/'";
    case Fault::kExists:
      return quoted + " exists already; left as it is";
    case Fault::kCopyFailed:
      return "cannot write " + quoted + reason;
    case Fault::kArchiveCreate:
      return "cannot create the archive " + quoted + reason;
    case Fault::kArchiveWrite:
      return "cannot write the archive " + quoted + reason;
    case Fault::kCancelled:
      return "stopped before the end";
  }
  return p.subject;
}

std::string ChineseText(const Problem& p) {
  const std::string quoted = "“" + p.subject + "”";
  const std::string reason = Tail("：", p.reason);
  switch (p.fault) {
    case Fault::kNoClass:
      return "班级" + quoted + "不存在";
    case Fault::kNoRootFolder:
      return "设置中还没有学生文件夹的位置";
    case Fault::kFolderMissing:
      return "学生文件夹" + quoted + "不存在";
    case Fault::kFolderUnreadable:
      return "无法读取文件夹" + quoted + reason;
    case Fault::kFileUnreadable:
      return "无法读取文件" + quoted + reason;
    case Fault::kSourceMissing:
      return "无法读取" + quoted + reason;
    case Fault::kBadSubfolder:
      return quoted + "不是有效的子文件夹：请输入以“/”分隔的文件夹名";
    case Fault::kExists:
      return "已有同名的" + quoted + "，未覆盖";
    case Fault::kCopyFailed:
      return "无法写入" + quoted + reason;
    case Fault::kArchiveCreate:
      return "无法创建压缩包" + quoted + reason;
    case Fault::kArchiveWrite:
      return "无法写入压缩包" + quoted + reason;
    case Fault::kCancelled:
      return "已停止";
  }
  return p.subject;
}

}  // namespace orvo::classwork
