#include "console/TimeTableControl.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>

#include "console/ConsoleRules.h"
#include "console/WindowSupport.h"
#include "service/OrvoService.h"
#include "store/OrvoDiskDbUnit.h"
#include "store/TimeText.h"
#include "store/TimetableOrder.h"

namespace orvo::console {

const QStringList TimeTableControl::kWeekdays = {QStringLiteral("星期一"), QStringLiteral("星期二"),
                                                 QStringLiteral("星期三"), QStringLiteral("星期四"),
                                                 QStringLiteral("星期五")};

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

std::optional<QString> TimeTableControl::Add(int week, const QString& begin, const QString& end,
                                             const QString& group) {
  if (group.isEmpty()) return QStringLiteral("信息不能为空");
  int32_t ignored = 0;
  if (!store::TryParseTimeText(Utf8(begin), ignored) ||
      !store::TryParseTimeText(Utf8(end), ignored)) {
    return QStringLiteral("时间格式错误");
  }
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

void TimeTableControl::CreateTable() {
  Db().CreateTimeTableTable();
}

}  // namespace orvo::console
