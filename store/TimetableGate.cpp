// The timetable and the login gate of TOrvoDiskDb: which timetable row is current, and whether a
// login's class and credentials pass. Every method takes FLock except EnsureCurrGroup, which runs
// inside CheckLogin's hold. The current row is found again once a minute, and at the next check
// after any change to the timetable, the adjustment or the pause.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Regional.h"
#include "store/HalfWidth.h"
#include "store/OrvoDiskDbUnit.h"
#include "store/TimeText.h"

namespace orvo::store {
namespace {

constexpr char kTimeTable[] = "TimeTable";

// Week and Id go into statements without quotes, so anything but a plain decimal integer is
// refused before it can become part of the SQL.
void RequireInteger(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  bool valid = !digits.empty();
  // Saturates beyond the 32-bit range, so a long run of digits is refused rather than wrapped.
  constexpr int64_t kBeyond = int64_t{1} << 32;
  int64_t value = 0;
  for (std::size_t i = 0; valid && i < digits.size(); ++i) {
    valid = digits[i] >= '0' && digits[i] <= '9';
    value = std::min(value * 10 + (digits[i] - '0'), kBeyond);
  }
  if (negative) value = -value;
  if (!valid || value < std::numeric_limits<int32_t>::min() ||
      value > std::numeric_limits<int32_t>::max()) {
    throw DbError("'" + std::string(text) + "' is not a valid integer value");
  }
}

int32_t MillisecondsOfDay(const platform::LocalDateTime& now) {
  return ((now.hour * 60 + now.minute) * 60 + now.second) * 1000 + now.millisecond;
}

std::string TwoDigits(int value) {
  std::string text = std::to_string(value);
  return text.size() < 2 ? "0" + text : text;
}

}  // namespace

void TOrvoDiskDb::EnsureCurrGroup() {
  if (FStopTimeTable.load()) {
    // The data host and port of the last evaluation stay: replies during a pause carry them.
    CurrGroupName = kEveryClass;
    return;
  }
  const uint32_t tick = FClock.TickCount();
  // Unsigned subtraction is the difference modulo 2^32, so the rhythm survives the tick wrap.
  if (!FEvaluationDue && static_cast<uint32_t>(tick - FCurrTick) <= kTimetableRefreshMs) return;
  FEvaluationDue = false;
  FCurrTick = tick;
  CurrGroupName.clear();
  CurrDataHost.clear();
  CurrDataPort.clear();

  const platform::LocalDateTime now = FClock.Now();
  const int32_t weekday = FCurrWeekTemp >= 0 ? FCurrWeekTemp : now.dayOfWeek;
  const int32_t timeOfDay = MillisecondsOfDay(now);
  FDb.Select(kTimeTable);
  for (TQuery& query = FDb.Query(); !query.Eof(); query.Next()) {
    // Both texts of every row reached are parsed, whatever its weekday, so a bad text stops the
    // evaluation even on a day it does not apply to.
    const int32_t begin = ParseTimeText(query.FieldByName("BeginTime").AsString());
    const int32_t end = ParseTimeText(query.FieldByName("EndTime").AsString());
    if (query.FieldByName("Week").AsInteger() == weekday && timeOfDay > begin && timeOfDay < end) {
      CurrGroupName = query.FieldByName("GroupName").AsString();
      CurrDataHost = query.FieldByName("ServerIP").AsString();
      CurrDataPort = query.FieldByName("ServerPort").AsString();
      break;
    }
  }
}

LoginResult TOrvoDiskDb::CheckLogin(const std::string& aGroup, const std::string& aUserId,
                                    const std::string& aPassword) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  EnsureCurrGroup();
  LoginResult result;
  // A slot for "一班,二班" names both classes, but never "十一班" for "一班".
  const bool classPasses = LessonAdmits(CurrGroupName, aGroup);
  result.classAdmitted = classPasses;
  if (classPasses) {
    const std::string condition = "GroupName=" + QuotedStr(aGroup) +
                                  " and UserId=" + QuotedStr(aUserId) +
                                  " and PassWord=" + QuotedStr(aPassword);
    // Duplicated rows make the login impossible rather than picking one of them.
    if (FDb.Select("Users", condition) == 1) {
      result.accepted = true;
      result.userRowId = FDb.Query().FieldByName("Id").AsInteger();
      result.userName = FDb.Query().FieldByName("UserName").AsString();
    }
  }
  result.currGroupName = CurrGroupName;
  result.currDataHost = CurrDataHost;
  result.currDataPort = CurrDataPort;
  return result;
}

uint32_t TOrvoDiskDb::LoginLiveMs(const std::string& aGroup, uint32_t graceMs) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (FStopTimeTable.load()) return kLoginLiveWhilePaused;
  const platform::LocalDateTime now = FClock.Now();
  const int32_t weekday = FCurrWeekTemp >= 0 ? FCurrWeekTemp : now.dayOfWeek;
  const int64_t timeOfDay = MillisecondsOfDay(now);
  int64_t live = 0;
  FDb.Select(kTimeTable, "Week=" + std::to_string(weekday));
  for (TQuery& query = FDb.Query(); !query.Eof(); query.Next()) {
    if (!LessonAdmits(query.FieldByName("GroupName").AsString(), aGroup)) continue;
    int64_t begin = 0;
    int64_t end = 0;
    try {
      begin = ParseTimeText(query.FieldByName("BeginTime").AsString());
      end = ParseTimeText(query.FieldByName("EndTime").AsString());
    } catch (const TimeTextError&) {
      continue;  // a lesson that cannot be read keeps no one in; the gate reports it at LOGIN
    }
    const int64_t until = end + graceMs;
    if (timeOfDay > begin && timeOfDay < until) live = std::max(live, until - timeOfDay);
  }
  return static_cast<uint32_t>(std::min<int64_t>(live, std::numeric_limits<uint32_t>::max()));
}

std::string TOrvoDiskDb::CurrentGroupName() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  EnsureCurrGroup();
  return CurrGroupName;
}

void TOrvoDiskDb::SetStopTimeTable(bool Value) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FStopTimeTable.store(Value);
  // The class found before the pause may be long over when it ends.
  FEvaluationDue = true;
}

void TOrvoDiskDb::TimetableChanged() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FEvaluationDue = true;
}

int32_t TOrvoDiskDb::CurrWeekTemp() const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return FCurrWeekTemp;
}

void TOrvoDiskDb::SetCurrWeekTemp(int32_t Value) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FCurrWeekTemp = Value;
  FEvaluationDue = true;
}

void TOrvoDiskDb::AddTimeTable(const std::string& Week, const std::string& BeginTime,
                               const std::string& EndTime, const std::string& GroupName) {
  RequireInteger(Week);
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FDb.Insert(
      kTimeTable, {"Week", "BeginTime", "EndTime", "GroupName"},
      {Week, QuotedStr(HalfWidth(BeginTime)), QuotedStr(HalfWidth(EndTime)), QuotedStr(GroupName)});
  FEvaluationDue = true;
}

void TOrvoDiskDb::DeleteTimeTable(const std::string& aID) {
  RequireInteger(aID);
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FDb.Delete(kTimeTable, "Id=" + aID);
  FEvaluationDue = true;
}

void TOrvoDiskDb::DeleteTimeTableAll() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FDb.DeleteAll(kTimeTable);
  FEvaluationDue = true;
}

void TOrvoDiskDb::GroupList(std::vector<std::string>& aList) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  aList.clear();
  const platform::LocalDateTime now = FClock.Now();
  const int32_t weekday = FCurrWeekTemp != -1 ? FCurrWeekTemp : now.dayOfWeek;
  // The stored texts are compared with this one as texts by the database, not as times.
  const std::string time =
      TwoDigits(now.hour) + platform::HostRegional().timeSeparator + TwoDigits(now.minute);
  const std::string condition = "Week=" + std::to_string(weekday) + " and BeginTime<" +
                                QuotedStr(time) + " and EndTime>" + QuotedStr(time);
  if (FDb.Select(kTimeTable, condition) == 0) return;
  TQuery& query = FDb.Query();
  const std::string serverIp = query.FieldByName("ServerIP").AsString();
  if (serverIp != CurrDataHost) {
    CurrDataHost = serverIp;
    CurrDataPort = query.FieldByName("ServerPort").AsString();
  }
  const std::string groupName = query.FieldByName("GroupName").AsString();
  if (groupName != kEveryClass) {
    aList.push_back(groupName);
    return;
  }
  FDb.Select("Groups");
  for (; !query.Eof(); query.Next()) aList.push_back(query.FieldByName("GroupName").AsString());
}

std::vector<TimeTableRow> TOrvoDiskDb::TimeTableRows() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  std::vector<TimeTableRow> rows;
  FDb.Select(kTimeTable);
  for (TQuery& query = FDb.Query(); !query.Eof(); query.Next()) {
    TimeTableRow row;
    row.id = query.FieldByName("Id").AsInteger();
    row.week = query.FieldByName("Week").AsInteger();
    row.beginTime = query.FieldByName("BeginTime").AsString();
    row.endTime = query.FieldByName("EndTime").AsString();
    row.groupName = query.FieldByName("GroupName").AsString();
    row.serverIp = query.FieldByName("ServerIP").AsString();
    row.serverPort = query.FieldByName("ServerPort").AsString();
    rows.push_back(std::move(row));
  }
  return rows;
}

int32_t TOrvoDiskDb::TimeTableCount() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return FDb.Select(kTimeTable);
}

}  // namespace orvo::store
