#include "console/ClassWorkTexts.h"

#include <QStringList>

#include "classwork/LocalTime.h"
#include "classwork/Problem.h"
#include "console/ConsoleRules.h"
#include "console/WindowSupport.h"

namespace orvo::console {
namespace {

QString Chinese(const classwork::Problem& problem) {
  return Text(classwork::ChineseText(problem));
}

}  // namespace

std::vector<HandInRow> HandInRows(const classwork::ClassReport& report) {
  std::vector<HandInRow> rows;
  rows.reserve(report.students.size());
  uint64_t position = 0;
  for (const classwork::StudentWork& work : report.students) {
    HandInRow row;
    row.texts = {Text(work.student.name), QString::number(work.files), QString::number(work.bytes),
                 work.newest == 0 ? QString() : Text(classwork::FileTimeText(work.newest)),
                 Text(classwork::StatusText(work))};
    row.keys = {position++, work.files, work.bytes, work.newest, 0};
    row.handedIn = work.HandedIn();
    rows.push_back(std::move(row));
  }
  return rows;
}

QString SummaryText(const classwork::ClassReport& report) {
  std::size_t handedIn = 0;
  for (const classwork::StudentWork& work : report.students) handedIn += work.HandedIn() ? 1 : 0;
  QString text =
      QStringLiteral("已交 %1 人，未交 %2 人").arg(handedIn).arg(report.students.size() - handedIn);
  if (report.stopped) text += QStringLiteral("（统计已停止，后面的学生未列出）");
  return text;
}

QString CollectResultText(const classwork::CollectResult& result) {
  const QString archive = Quoted(Text(result.archivePath));
  QStringList lines;
  if (result.failure) {
    if (result.failure->fault == classwork::Fault::kCancelled) {
      lines.append(QStringLiteral("收取已停止。"));
    } else {
      lines.append(QStringLiteral("收取作业失败：") + Chinese(*result.failure));
    }
    lines.append(result.archiveKept
                     ? QStringLiteral("压缩包保留在") + archive + QStringLiteral("。")
                     : QStringLiteral("未完成的压缩包") + archive +
                           QStringLiteral("已删除，没有留下不完整的文件。"));
    return lines.join('\n');
  }
  lines.append(QStringLiteral("作业已收取到") + archive + QStringLiteral("。"));
  lines.append(QStringLiteral("共 %1 名学生的 %2 个文件（%3 字节）。")
                   .arg(result.studentsWithWork)
                   .arg(result.files)
                   .arg(result.bytes));
  if (!result.withoutWork.empty()) {
    QStringList names;
    for (const std::string& name : result.withoutWork) names.append(Text(name));
    lines.append(QStringLiteral("未交 %1 人：").arg(names.size()) +
                 names.join(QStringLiteral("、")));
  }
  if (!result.skipped.empty()) {
    lines.append(QStringLiteral("以下项目未能收取（清单中也已注明）："));
    for (const classwork::Problem& problem : result.skipped) {
      const QString who = problem.student.empty() ? QString() : Text(problem.student) + "：";
      lines.append(QStringLiteral("  ") + who + Chinese(problem));
    }
  }
  return lines.join('\n');
}

QString HandOutConfirmText(const QString& item, const QString& className, std::size_t students,
                           const QString& into) {
  QString text =
      QStringLiteral("将%1分发给 %2 的 %3 名学生？").arg(Quoted(item), className).arg(students);
  if (!into.isEmpty()) {
    text += QStringLiteral("文件将放入各学生文件夹中的%1文件夹。").arg(Quoted(into));
  }
  return text + QStringLiteral("已有同名文件的学生将跳过。");
}

QString HandOutResultText(const classwork::HandOutResult& result) {
  QStringList lines;
  if (result.failure && result.failure->fault != classwork::Fault::kCancelled) {
    return QStringLiteral("没有分发任何文件：") + Chinese(*result.failure);
  }
  if (result.failure) {
    lines.append(QStringLiteral("分发已停止，只处理了前 %1 名学生。").arg(result.students.size()));
  }
  lines.append(QStringLiteral("已复制给 %1 名学生，跳过 %2 名，失败 %3 名。")
                   .arg(result.copied)
                   .arg(result.skipped)
                   .arg(result.failed));
  for (const classwork::StudentHandOut& student : result.students) {
    QString line = Text(student.student.name) + QStringLiteral("：");
    switch (student.outcome) {
      case classwork::StudentHandOut::Outcome::kCopied:
        line += QStringLiteral("已复制");
        break;
      case classwork::StudentHandOut::Outcome::kSkipped:
        line += QStringLiteral("跳过");
        break;
      case classwork::StudentHandOut::Outcome::kFailed:
        line += QStringLiteral("失败");
        break;
    }
    if (student.problem) line += QStringLiteral("，") + Chinese(*student.problem);
    lines.append(line);
  }
  return lines.join('\n');
}

}  // namespace orvo::console
