// The class text of a lesson: how it is split into classes, whether it admits a class, and which
// of its names match no class.
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/IgnoringCase.h"
#include "store/HalfWidth.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::store {
namespace {

// Whether `text` starts with one of the separators between a lesson's classes; its length if so.
std::size_t SeparatorAt(std::string_view text) {
  static constexpr std::string_view kWide[] = {"，", "、", "；", "　"};
  if (text.empty()) return 0;
  if (std::string_view(",;/| \t").find(text.front()) != std::string_view::npos) return 1;
  for (const std::string_view separator : kWide) {
    if (text.starts_with(separator)) return separator.size();
  }
  return 0;
}

// Whether two class names differ only in full-width or half-width forms or in letter case.
bool LooksAlike(std::string_view a, std::string_view b) {
  return core::EqualIgnoringCase(HalfWidth(a), HalfWidth(b));
}

}  // namespace

std::vector<std::string_view> LessonItems(std::string_view lessonGroups) {
  std::vector<std::string_view> items;
  std::size_t itemStart = 0;
  for (std::size_t i = 0; i <= lessonGroups.size();) {
    const std::size_t separator = i < lessonGroups.size() ? SeparatorAt(lessonGroups.substr(i)) : 1;
    if (separator == 0) {
      ++i;
      continue;
    }
    if (i > itemStart) items.push_back(lessonGroups.substr(itemStart, i - itemStart));
    i += separator;
    itemStart = i;
  }
  return items;
}

bool LessonAdmits(std::string_view lessonGroups, std::string_view aGroup) {
  if (lessonGroups == kEveryClass) return true;
  if (aGroup.empty()) return false;
  const std::vector<std::string_view> items = LessonItems(lessonGroups);
  return std::find(items.begin(), items.end(), aGroup) != items.end();
}

std::vector<UnknownClass> UnknownLessonClasses(std::string_view lessonGroups,
                                               const std::vector<std::string>& classes) {
  std::vector<UnknownClass> unknown;
  if (lessonGroups == kEveryClass) return unknown;
  for (const std::string_view item : LessonItems(lessonGroups)) {
    if (std::find(classes.begin(), classes.end(), item) != classes.end()) continue;
    if (std::any_of(unknown.begin(), unknown.end(),
                    [item](const UnknownClass& u) { return u.name == item; })) {
      continue;
    }
    UnknownClass entry{std::string(item), {}};
    const auto alike = std::find_if(classes.begin(), classes.end(),
                                    [item](const std::string& c) { return LooksAlike(c, item); });
    if (alike != classes.end()) entry.suggestion = *alike;
    unknown.push_back(std::move(entry));
  }
  return unknown;
}

}  // namespace orvo::store
