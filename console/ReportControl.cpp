#include "console/ReportControl.h"

#include <QDir>
#include <QSaveFile>
#include <QStandardPaths>
#include <stdexcept>

#include "classwork/LocalTime.h"
#include "console/ConsoleRules.h"
#include "console/WindowSupport.h"
#include "platform/Clock.h"
#include "service/OrvoService.h"
#include "store/OrvoDiskDbUnit.h"

namespace orvo::console {

ClassWork LibraryClassWork() {
  return {classwork::HandInReport, classwork::CollectWork, classwork::HandOut};
}

ReportControl::ReportControl(service::OrvoService& service, const platform::Clock& clock)
    : service_(service), clock_(clock), classes_(service), work_(LibraryClassWork()) {}

store::TOrvoDiskDb& ReportControl::Db() {
  return StartedDb(service_, "服务未启动，无法读取班级");
}

QStringList ReportControl::LoadClasses() {
  Db();  // says why there are none when the service never started
  classes_.LoadClasses();
  return classes_.Classes();
}

int ReportControl::LessonClass() {
  return classes_.CurrentClass().position;
}

QString ReportControl::DefaultStart(const QString& className) {
  store::TOrvoDiskDb& db = Db();
  // The timetable window may have set another weekday for today; the gate goes by it, so the
  // lessons taken as today's are the same.
  const int weekday = db.CurrWeekTemp();
  return Text(classwork::MinuteText(
      classwork::DefaultStart(db.TimeTableRows(), Utf8(className), clock_.Now(), weekday)));
}

uint64_t ReportControl::StartTime(const QString& text) const {
  const std::optional<platform::LocalDateTime> start =
      classwork::ParseLocalMinute(Utf8(text.trimmed()));
  if (!start) {
    throw std::runtime_error(
        Utf8(QStringLiteral("开始时间%1不是有效的时间，请按“2026-12-11 08:00”的格式输入")
                 .arg(Quoted(text))));
  }
  return classwork::LocalToFileTime(*start);
}

std::vector<classwork::StudentFolder> ReportControl::Roster(const QString& className) {
  try {
    return classwork::ClassRoster(Db(), service_.State().settings.RootPath.Get(), Utf8(className));
  } catch (const classwork::RosterError& e) {
    throw std::runtime_error(classwork::ChineseText(e.problem()));
  }
}

QString ReportControl::DefaultArchivePath(const QString& className) const {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  const QString name = Text(classwork::DefaultArchiveName(Utf8(className), clock_.Now()));
  return QDir::toNativeSeparators(QDir(folder).filePath(name));
}

QString ReportControl::DefaultCsvPath(const QString& className) const {
  QString path = DefaultArchivePath(className);
  path.chop(QStringLiteral(".zip").size());  // the archive's name, safe for every host
  return path + QStringLiteral("-作业情况.csv");
}

QString ReportControl::PublicFolder() const {
  return Text(service_.State().settings.PublicPath.Get());
}

void ReportControl::SaveFile(const QString& path, const std::string& bytes) {
  QSaveFile file(path);
  const bool saved = file.open(QIODevice::WriteOnly) &&
                     file.write(bytes.data(), static_cast<qint64>(bytes.size())) ==
                         static_cast<qint64>(bytes.size()) &&
                     file.commit();
  if (!saved) {
    throw std::runtime_error(
        Utf8(QStringLiteral("无法写入文件%1：%2").arg(Quoted(path), file.errorString())));
  }
}

}  // namespace orvo::console
