#include "console/TimeTableControl.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>

#include "console/ConsoleRules.h"
#include "console/WindowSupport.h"
#include "service/OrvoService.h"
#include "store/LessonOverlap.h"
#include "store/OrvoDiskDbUnit.h"
#include "store/TimeText.h"
#include "store/TimetableOrder.h"

namespace orvo::console {
namespace {

QString BadTime(const QString& field, const QString& text) {
  if (text.trimmed().isEmpty()) return QStringLiteral("请填写") + field;
  return field + Quoted(text) + QStringLiteral("不是有效的时间，请按 16:05 的格式填写");
}

}  // namespace

const QStringList TimeTableControl::kWeekdays = {QStringLiteral("星期一"), QStringLiteral("星期二"),
                                                 QStringLiteral("星期三"), QStringLiteral("星期四"),
                                                 QStringLiteral("星期五"), QStringLiteral("星期六"),
                                                 QStringLiteral("星期日")};

const QString TimeTableControl::kNoAdjustment = QStringLiteral("不调整");

store::TOrvoDiskDb& TimeTableControl::Db() {
  return StartedDb(service_);
}

bool TimeTableControl::DatabaseOpen() const {
  return service_.Db() != nullptr;
}

void TimeTableControl::Load() {
  rows_.clear();
  // TimeTableRows holds the database lock for its whole walk over the cursor.
  const std::vector<store::TimeTableRow> stored = Db().TimeTableRows();
  std::vector<TimeTableTexts> rows;
  rows.reserve(stored.size());
  for (const store::TimeTableRow& row : stored) {
    const bool listed = row.week >= 1 && row.week <= kWeekdays.size();
    rows.push_back({QString::number(row.id), listed ? kWeekdays.at(row.week - 1) : QString(),
                    Text(row.beginTime), Text(row.endTime), Text(row.groupName)});
  }
  // Stable, so that rows comparing equal keep their Id order.
  std::stable_sort(rows.begin(), rows.end(), [](const TimeTableTexts& a, const TimeTableTexts& b) {
    return Compare(a, b) < 0;
  });
  rows_ = std::move(rows);
}

QStringList TimeTableControl::Classes() {
  return ListedClasses(Db());
}

int TimeTableControl::Compare(const TimeTableTexts& a, const TimeTableTexts& b) {
  // Back to the stored shape, so the window orders rows exactly as the store's display rule does
  // (a cell naming no weekday is Week 0, which sorts before Monday).
  const auto row = [](const TimeTableTexts& texts) {
    store::TimeTableRow stored;
    stored.week = IndexIgnoringCase(kWeekdays, texts[1]) + 1;
    stored.beginTime = Utf8(texts[2]);
    return stored;
  };
  return store::CompareForDisplay(row(a), row(b));
}

std::optional<QString> TimeTableControl::Refusal(int week, const QString& begin, const QString& end,
                                                 const QString& group) {
  if (store::LessonItems(Utf8(group)).empty()) {
    return group.isEmpty()
               ? QStringLiteral("请填写班级")
               : QStringLiteral("班级") + Quoted(group) + QStringLiteral("里没有班级名");
  }
  // A lesson on no weekday would never let anyone in.
  if (week < 1 || week > kWeekdays.size()) return QStringLiteral("请选择星期");
  switch (store::CheckLessonTimes(Utf8(begin), Utf8(end))) {
    case store::LessonTimesFault::kBadBegin:
      return BadTime(QStringLiteral("开始时间"), begin);
    case store::LessonTimesFault::kBadEnd:
      return BadTime(QStringLiteral("结束时间"), end);
    case store::LessonTimesFault::kEndNotAfterBegin:
      return QStringLiteral("结束时间") + Quoted(end) + QStringLiteral("不在开始时间") +
             Quoted(begin) + QStringLiteral("之后；跨过午夜的课请分成两节");
    case store::LessonTimesFault::kNone:
      break;
  }
  return std::nullopt;
}

std::optional<QString> TimeTableControl::UnknownClassWarning(const QString& group) {
  std::vector<std::string> classes;
  Db().GroupListAdmin(classes);
  const std::vector<store::UnknownClass> unknown =
      store::UnknownLessonClasses(Utf8(group), classes);
  if (unknown.empty()) return std::nullopt;
  QStringList lines;
  for (const store::UnknownClass& u : unknown) {
    QString line = QStringLiteral("没有班级") + Quoted(Text(u.name));
    if (!u.suggestion.empty()) {
      line += QStringLiteral("，是不是") + Quoted(Text(u.suggestion)) + QStringLiteral("？");
    }
    lines.append(line);
  }
  lines.append(QStringLiteral("这些名字的学生不能按这节课登录。仍然保存吗？"));
  return lines.join(QLatin1Char('\n'));
}

std::optional<QString> TimeTableControl::OverlapWarning(int week, const QString& begin,
                                                        const QString& end, const QString& group) {
  const std::vector<store::TimeTableRow> overlapping = store::OverlappingLessons(
      store::SortedForDisplay(Db().TimeTableRows()), week, Utf8(begin), Utf8(end), Utf8(group));
  if (overlapping.empty()) return std::nullopt;
  QStringList lines{QStringLiteral("这节课和已有的课程时间重叠：")};
  for (const store::TimeTableRow& row : overlapping) {
    lines.append(QStringLiteral("%1 %2-%3 %4")
                     .arg(kWeekdays.value(row.week - 1), Text(row.beginTime), Text(row.endTime),
                          Text(row.groupName)));
  }
  lines.append(
      QStringLiteral("同一时间只按先加入的课程放行，重叠的时间里这节课不起作用。仍然保存吗？"));
  return lines.join(QLatin1Char('\n'));
}

std::optional<QString> TimeTableControl::Add(int week, const QString& begin, const QString& end,
                                             const QString& group) {
  if (std::optional<QString> refusal = Refusal(week, begin, end, group)) return refusal;
  Db().AddTimeTable(std::to_string(week), Utf8(begin), Utf8(end), Utf8(group));
  RecheckLogins(service_);
  return std::nullopt;
}

void TimeTableControl::Delete(const QString& id) {
  Db().DeleteTimeTable(Utf8(id));
  RecheckLogins(service_);
}

void TimeTableControl::DeleteAll() {
  Db().DeleteTimeTableAll();
  RecheckLogins(service_);
}

void TimeTableControl::SetWeekOverride(int week) {
  Db().SetCurrWeekTemp(week);
  RecheckLogins(service_);
}

int TimeTableControl::WeekOverride() {
  return Db().CurrWeekTemp();
}

void TimeTableControl::CreateTable() {
  Db().CreateTimeTableTable();
}

}  // namespace orvo::console
