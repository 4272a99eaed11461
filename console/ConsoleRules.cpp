#include "console/ConsoleRules.h"

#include <algorithm>
#include <string>

#include "core/IgnoringCase.h"

namespace orvo::console {
namespace {

int Sign(int value) {
  return (value > 0) - (value < 0);
}

// The order of a sorted drop-down list: case folded first, so that "abc" and "ABD" sort by their
// letters, then the locale's order.
int CompareClassNames(const QString& a, const QString& b) {
  return Sign(QString::localeAwareCompare(a.toCaseFolded(), b.toCaseFolded()));
}

}  // namespace

int CompareText(const QString& a, const QString& b) {
  return Sign(QString::localeAwareCompare(a, b));
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
                   [](const QString& a, const QString& b) { return CompareClassNames(a, b) < 0; });
}

int SortedClassPosition(const QStringList& names, const QString& name) {
  const auto at = std::upper_bound(names.begin(), names.end(), name,
                                   [](const QString& value, const QString& element) {
                                     return CompareClassNames(value, element) < 0;
                                   });
  return static_cast<int>(at - names.begin());
}

int IndexIgnoringCase(const QStringList& items, const QString& text) {
  const std::string wanted = text.toStdString();
  for (int i = 0; i < items.size(); ++i) {
    if (core::EqualIgnoringCase(items[i].toStdString(), wanted)) return i;
  }
  return -1;
}

int FindName(const std::vector<QString>& names, const QString& text) {
  if (text.isEmpty()) return -1;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].contains(text, Qt::CaseSensitive)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace orvo::console
