#include "console/ConsoleRules.h"

#include <algorithm>
#include <string>

#include "core/IgnoringCase.h"
#include "platform/Collation.h"

namespace orvo::console {

QString Quoted(const QString& text) {
  return QStringLiteral("“") + text + QStringLiteral("”");
}

int CompareText(const QString& a, const QString& b) {
  return platform::CompareNames(a.toStdString(), b.toStdString());
}

int CompareStudents(const StudentTexts& a, const StudentTexts& b, int sortCol, int sortWay) {
  if (sortCol < 0 || sortCol >= kStudentColumns) return 0;
  const auto column = static_cast<std::size_t>(sortCol);
  return CompareText(a[column], b[column]) * sortWay;
}

int NextSortWay(int sortWay) {
  return sortWay == 1 ? -1 : 1;
}

void SortClassNames(QStringList& names) {
  std::stable_sort(names.begin(), names.end(),
                   [](const QString& a, const QString& b) { return CompareText(a, b) < 0; });
}

int SortedClassPosition(const QStringList& names, const QString& name) {
  const auto at = std::upper_bound(
      names.begin(), names.end(), name,
      [](const QString& value, const QString& element) { return CompareText(value, element) < 0; });
  return static_cast<int>(at - names.begin());
}

int IndexIgnoringCase(const QStringList& items, const QString& text) {
  const std::string wanted = text.toStdString();
  for (int i = 0; i < items.size(); ++i) {
    if (core::EqualIgnoringCase(items[i].toStdString(), wanted)) return i;
  }
  return -1;
}

QString StudentsAddedText(const store::AddResult& result) {
  QString text = QStringLiteral("已添加 %1 名学生。").arg(result.added.size());
  const std::size_t skipped = result.refused.size() + result.present.size();
  if (skipped == 0) return text;
  text += QStringLiteral("\n以下 %1 个姓名未添加：").arg(skipped);
  for (const store::RefusedName& refused : result.refused) {
    text += QStringLiteral("\n") + QString::fromStdString(refused.reason);
  }
  for (const std::string& present : result.present) {
    text += QStringLiteral("\n") + Quoted(QString::fromStdString(present)) +
            QStringLiteral("已在本班级中");
  }
  return text;
}

QString ClassNotAddedText(const store::AddResult& result) {
  if (!result.refused.empty()) return QString::fromStdString(result.refused.front().reason);
  if (!result.present.empty()) {
    return QStringLiteral("班级") + Quoted(QString::fromStdString(result.present.front())) +
           QStringLiteral("已存在");
  }
  return {};
}

int FindName(const std::vector<QString>& names, const QString& text) {
  if (text.isEmpty()) return -1;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].contains(text, Qt::CaseSensitive)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace orvo::console
