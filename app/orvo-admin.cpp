// orvo-admin: administration of the service's database without the console, for lab servers and
// scripts. It works through the same store operations (and their lock) the service uses, checks
// every input before it changes anything, and exits 1 with a one-line message on any failure.
// A service running on the folder is reached through its control channel: for the online view,
// for ending logins and lifting blocks, for pausing its timetable gate, and to reload what a
// command changed.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/ClassworkCommands.h"
#include "app/PackCommand.h"
#include "app/VersionFlag.h"
#include "core/IgnoringCase.h"
#include "core/Options.h"
#include "core/ServiceState.h"
#include "platform/ActAsOwner.h"
#include "platform/Collation.h"
#include "platform/CommandLine.h"
#include "platform/ControlChannel.h"
#include "platform/DefaultFolder.h"
#include "platform/FileSystem.h"
#include "platform/Utf8Path.h"
#include "service/ControlRequests.h"
#include "service/OrvoService.h"
#include "service/UnitFolders.h"
#include "store/CreateDatabase.h"
#include "store/LessonOverlap.h"
#include "store/OrvoDiskDbUnit.h"
#include "store/TimeText.h"
#include "store/TimetableOrder.h"

namespace {

using orvo::store::TOrvoDiskDb;

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool HasClass(TOrvoDiskDb& db, const std::string& name, bool ignoreCase) {
  std::vector<std::string> classes;
  db.GroupListAdmin(classes);
  return std::any_of(classes.begin(), classes.end(), [&](const std::string& c) {
    return ignoreCase ? orvo::core::EqualIgnoringCase(c, name) : c == name;
  });
}

void RequireClass(TOrvoDiskDb& db, const std::string& name) {
  if (!HasClass(db, name, false)) throw UsageError("no class named '" + name + "'");
}

int32_t OnOff(const std::string& value, const char* option) {
  if (value == "on") return 1;
  if (value == "off") return 0;
  throw UsageError(std::string(option) + " takes on or off, not '" + value + "'");
}

// An absolute folder of this host: "/..." on Linux; "C:\..." or "\\server\share" on Windows.
bool IsAbsoluteFolder(const std::string& path) {
#ifdef _WIN32
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      separator(path[2])) {
    return true;
  }
  return path.size() > 2 && separator(path[0]) && separator(path[1]);
#else
  return !path.empty() && path[0] == '/';
#endif
}

struct Options {
  std::string directory;
  std::string name;
  std::vector<std::string> names;
  std::string weekday, begin, end, classes, id;
  std::optional<std::string> root, publicPath, studentList, classList;
  std::vector<std::string> optionSets, optionResets;
  std::string address;
  bool all = false;
  orvo::admin::ClassworkArguments work;
  std::string folder;  // to pack
};

// The database folder: --dir, or the default that main settles once after parsing.
const std::string& Folder(const Options& o) {
  return o.directory;
}

std::string DatabasePath(const Options& o) {
  return orvo::platform::JoinPath(Folder(o), orvo::store::kDatabaseFileName);
}

// A folder as the host's command line would take it back in the suggested command.
std::string ShellWord(const std::string& text) {
#ifdef _WIN32
  if (text.empty()) return "\"\"";
  if (text.find_first_of(" \t&()^%!;,") == std::string::npos) return text;
  // A backslash before the closing quote would escape it.
  return "\"" + text + (text.back() == '\\' ? "\\\"" : "\"");
#else
  if (!text.empty() && text.find_first_of(" \t'\"$`\\!*?;&|<>()#~") == std::string::npos) {
    return text;
  }
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
#endif
}

// Every command but init works on an existing database; init is what makes one.
void RequireDatabase(const Options& o) {
  const std::string path = DatabasePath(o);
  if (std::filesystem::exists(orvo::platform::Utf8Path(path))) return;
  throw UsageError("there is no database " + path + "; make one with: orvo-admin --dir " +
                   ShellWord(Folder(o)) + " init");
}

// One request to the service running on the folder; its refusal is this command's failure.
std::vector<std::string> Ask(const Options& o, const std::string& request) {
  const orvo::service::ControlReply reply = orvo::service::AskService(Folder(o), request);
  if (!reply.ok) throw UsageError(reply.error);
  return reply.lines;
}

// Has a running service read again what this command changed (its students, classes, timetable
// and settings); whether one did. Without a service there is nobody to tell.
bool TellService(const Options& o) {
  try {
    const orvo::service::ControlReply reply =
        orvo::service::AskService(Folder(o), orvo::service::kReloadRequest);
    if (reply.ok) return true;
    std::fprintf(stderr, "orvo-admin: saved, but the running service could not reload: %s\n",
                 reply.error.c_str());
  } catch (const orvo::platform::NoControlService&) {
  } catch (const orvo::platform::ControlChannelError& e) {
    std::fprintf(stderr, "orvo-admin: saved, but the running service was not told: %s\n", e.what());
  }
  return false;
}

void Init(const Options& o) {
  const std::string path = DatabasePath(o);
  if (std::filesystem::exists(orvo::platform::Utf8Path(path))) {
    std::printf("%s exists already; left untouched\n", path.c_str());
    return;
  }
  orvo::store::CreateDatabaseFile(path, std::string(orvo::store::SchemaSql()));
  std::printf("created %s\n", path.c_str());
}

// Each name an add refused, on standard error with the rule's reason; whether there was one.
bool ReportRefused(const orvo::store::AddResult& result) {
  for (const auto& refused : result.refused) {
    std::fprintf(stderr, "orvo-admin: refused: %s\n", refused.reason.c_str());
  }
  return !result.refused.empty();
}

// Whether the class was added.
bool ClassAdd(TOrvoDiskDb& db, const Options& o) {
  const orvo::store::AddResult result = db.AddGroup(o.name);
  if (ReportRefused(result)) return false;
  if (!result.present.empty()) {
    throw UsageError("class '" + result.present.front() + "' exists already");
  }
  std::printf("added class %s\n", result.added.front().c_str());
  return true;
}

void ClassDel(TOrvoDiskDb& db, const Options& o) {
  RequireClass(db, o.name);
  db.DeleteGroup(o.name);
}

void ClassList(TOrvoDiskDb& db) {
  std::vector<std::string> classes;
  db.GroupListAdmin(classes);
  std::sort(classes.begin(), classes.end(), orvo::platform::NameOrder());
  for (const auto& c : classes) std::printf("%s\n", c.c_str());
}

// Whether every name given was added or found in the class already.
bool StudentAdd(TOrvoDiskDb& db, const Options& o) {
  RequireClass(db, o.name);
  std::vector<std::string> names = o.names;
  if (names.empty()) {
    // One name a line, as the add-students dialog takes them; the store trims each.
    for (std::string line; std::getline(std::cin, line);) names.push_back(line);
  }
  const orvo::store::AddResult result = db.AddUser(names, o.name);
  for (const auto& n : result.added) std::printf("added %s\n", n.c_str());
  for (const auto& n : result.present) std::printf("skipped %s: already in the class\n", n.c_str());
  const bool refused = ReportRefused(result);
  std::printf("%zu added, %zu already in the class, %zu refused\n", result.added.size(),
              result.present.size(), result.refused.size());
  return !refused;
}

void StudentDel(TOrvoDiskDb& db, const Options& o) {
  if (o.names.size() != 1) throw UsageError("student del takes CLASS NAME");
  const auto students = db.Students(o.name);
  if (std::none_of(students.begin(), students.end(),
                   [&](const auto& s) { return s.userName == o.names[0]; })) {
    throw UsageError("class '" + o.name + "' has no student named '" + o.names[0] + "'");
  }
  db.DeleteUser(o.names[0], o.name);
}

void StudentList(TOrvoDiskDb& db, const Options& o) {
  std::vector<orvo::store::StudentRow> students = db.Students(o.name);
  std::stable_sort(students.begin(), students.end(), [](const auto& a, const auto& b) {
    return orvo::platform::CompareNames(a.userName, b.userName) < 0;
  });
  for (const auto& s : students) {
    std::printf("%d\t%s\t%s\t%s\t%s\n", s.id, s.groupName.c_str(), s.userName.c_str(),
                s.userId.c_str(), s.password.c_str());
  }
}

void TimetableAdd(TOrvoDiskDb& db, const Options& o) {
  if (o.weekday.size() != 1 || o.weekday[0] < '1' ||
      o.weekday[0] > '0' + orvo::store::kListedWeekdays) {
    throw UsageError("WEEKDAY is 1 (Monday) to 7 (Sunday), not '" + o.weekday + "'");
  }
  switch (orvo::store::CheckLessonTimes(o.begin, o.end)) {
    case orvo::store::LessonTimesFault::kBadBegin:
      throw UsageError("BEGIN " + std::string(orvo::store::TimeTextError(o.begin).what()));
    case orvo::store::LessonTimesFault::kBadEnd:
      throw UsageError("END " + std::string(orvo::store::TimeTextError(o.end).what()));
    case orvo::store::LessonTimesFault::kEndNotAfterBegin:
      throw UsageError("the lesson must end after it begins (END '" + o.end + "', BEGIN '" +
                       o.begin + "'); a lesson across midnight is two lessons");
    case orvo::store::LessonTimesFault::kNone:
      break;
  }
  if (orvo::store::LessonItems(o.classes).empty()) {
    throw UsageError("CLASSES must name a class, not '" + o.classes + "'");
  }
  std::vector<std::string> classes;
  db.GroupListAdmin(classes);
  // A typing slip keeps a whole class out: say so, but add the lesson, as the class may be made
  // later.
  const std::vector<orvo::store::UnknownClass> unknown =
      orvo::store::UnknownLessonClasses(o.classes, classes);
  for (const orvo::store::UnknownClass& u : unknown) {
    const std::string meant =
        u.suggestion.empty() ? std::string() : " (did you mean '" + u.suggestion + "'?)";
    std::fprintf(stderr, "orvo-admin: warning: there is no class named '%s'%s\n", u.name.c_str(),
                 meant.c_str());
  }
  // The gate goes by the earlier-added lesson where two overlap.
  for (const orvo::store::TimeTableRow& row : orvo::store::OverlappingLessons(
           db.TimeTableRows(), o.weekday[0] - '0', o.begin, o.end, o.classes)) {
    std::fprintf(stderr,
                 "orvo-admin: warning: overlaps lesson %d (%s-%s %s); while both are on, only "
                 "that earlier lesson lets its classes in\n",
                 row.id, row.beginTime.c_str(), row.endTime.c_str(), row.groupName.c_str());
  }
  db.AddTimeTable(o.weekday, o.begin, o.end, o.classes);
  if (!unknown.empty()) {
    std::fprintf(stderr,
                 "orvo-admin: the lesson was added all the same; no student logs in by a class "
                 "name that does not exist\n");
  }
}

void TimetableDel(TOrvoDiskDb& db, const Options& o) {
  const auto rows = db.TimeTableRows();
  if (std::none_of(rows.begin(), rows.end(),
                   [&](const auto& r) { return std::to_string(r.id) == o.id; })) {
    throw UsageError("no timetable row with id '" + o.id + "'");
  }
  db.DeleteTimeTable(o.id);
}

void TimetableList(TOrvoDiskDb& db) {
  for (const auto& r : orvo::store::SortedForDisplay(db.TimeTableRows())) {
    std::printf("%d\t%d\t%s\t%s\t%s\n", r.id, r.week, r.beginTime.c_str(), r.endTime.c_str(),
                r.groupName.c_str());
  }
}

void SettingsShow(TOrvoDiskDb& db) {
  std::string root, publicPath;
  int32_t groupList = 0, userList = 1, autoRun = 0;
  db.GetSetting(root, publicPath, groupList, userList, autoRun);
  std::printf("root: %s\npublic: %s\nstudent-list: %s\nclass-list: %s\nautorun: %s\n", root.c_str(),
              publicPath.c_str(), groupList == 1 ? "on" : "off", userList == 1 ? "on" : "off",
              autoRun == 1 ? "on" : "off");
  const std::map<std::string, std::string> rows = db.OptionRows();
  for (const orvo::core::OptionInfo& option : orvo::core::OptionCatalog()) {
    const auto row = rows.find(option.name);
    std::string shown;
    if (row == rows.end()) {
      shown = std::string(option.defaultValue) + (*option.defaultValue ? " " : "") + "(default)";
    } else if (orvo::core::OptionValueError(option, row->second)) {
      shown = row->second + " (not valid: the default " + option.defaultValue + " applies)";
    } else {
      shown = row->second;
    }
    std::printf("%s: %s\n", option.name, shown.c_str());
  }
}

std::string KnownOptions() {
  std::string names;
  for (const orvo::core::OptionInfo& option : orvo::core::OptionCatalog()) {
    names += (names.empty() ? "" : ", ") + std::string(option.name);
  }
  return names;
}

const orvo::core::OptionInfo& RequireOption(const std::string& name) {
  const orvo::core::OptionInfo* option = orvo::core::FindOption(name);
  if (!option) throw UsageError("no option named '" + name + "' (options: " + KnownOptions() + ")");
  return *option;
}

// The option rows to write (name to value; an empty value removes the row), every one checked.
std::map<std::string, std::string> OptionChanges(const Options& o) {
  std::map<std::string, std::string> changes;
  for (const std::string& set : o.optionSets) {
    const std::size_t equals = set.find('=');
    if (equals == std::string::npos) {
      throw UsageError("--option takes NAME=VALUE, not '" + set + "'");
    }
    const std::string value = set.substr(equals + 1);
    const orvo::core::OptionInfo& option = RequireOption(set.substr(0, equals));
    if (!value.empty()) {
      if (const auto error = orvo::core::OptionValueError(option, value)) throw UsageError(*error);
    }
    changes[option.name] = value;
  }
  for (const std::string& name : o.optionResets) changes[RequireOption(name).name] = "";
  return changes;
}

// The drop-in text for the packaged service's folders when DIR is its database folder and a
// folder is set; nullopt otherwise.
std::optional<std::string> SettingsSet(TOrvoDiskDb& db, const Options& o) {
  std::string root, publicPath;
  int32_t groupList = 0, userList = 1, autoRun = 0;
  db.GetSetting(root, publicPath, groupList, userList, autoRun);
  // Every value is checked before the row changes.
  for (const auto* folder : {&o.root, &o.publicPath}) {
    if (*folder && !IsAbsoluteFolder(folder->value())) {
      throw UsageError("folders must be absolute paths, not '" + folder->value() + "'");
    }
  }
  if (o.studentList) groupList = OnOff(*o.studentList, "--student-list");
  if (o.classList) userList = OnOff(*o.classList, "--class-list");
  if (o.root) root = *o.root;
  if (o.publicPath) publicPath = *o.publicPath;
  const std::map<std::string, std::string> options = OptionChanges(o);
  std::optional<std::string> unitFolders;
  if ((!root.empty() || !publicPath.empty()) && orvo::service::IsServiceDatabaseFolder(Folder(o))) {
    // Made before anything is saved: the unit must be able to name the folders.
    unitFolders = orvo::service::UnitFoldersText({root, publicPath});
  }
  db.SetSetting(root, publicPath, groupList, userList, autoRun);
  for (const auto& [name, value] : options) {
    if (value.empty()) {
      db.ResetOption(name);
    } else {
      db.SetOption(name, value);
    }
  }
  return unitFolders;
}

// The packaged service may write only to the folders its unit names; the unit learns the saved
// ones from the drop-in `text` at the service's next start. Whether the drop-in now holds it.
bool UpdateServiceFolders(const std::string& text) {
  try {
    bool changed = false;
    {
      const orvo::platform::RootForAWhile asRoot;
      changed = orvo::service::WriteUnitFolders(orvo::service::kServiceFoldersFile, text);
    }
    if (changed) {
      std::printf(
          "%s now lets the service write to its folders from its next start:\n"
          "  systemctl daemon-reload && systemctl restart orvo-serverd\n",
          orvo::service::kServiceFoldersFile);
    }
    return true;
  } catch (const std::exception& e) {
    std::fprintf(stderr,
                 "orvo-admin: saved, but the service may not write to these folders until root "
                 "runs this command again: %s\n",
                 e.what());
    return false;
  }
}

// --- a running service ---

void Online(const Options& o) {
  const orvo::service::OnlineView view =
      orvo::service::ParseOnlineView(Ask(o, orvo::service::kOnlineRequest));
  std::printf("logged in: %zu\n", view.logins.size());
  if (!view.logins.empty()) std::printf("address\tclass\tname\tsince\tcommands\tlast command\n");
  for (const auto& l : view.logins) {
    std::printf("%s\t%s\t%s\t%s\t%s\t%s\n", l.address.c_str(), l.group.c_str(), l.name.c_str(),
                l.since.c_str(), l.commands.c_str(), l.lastCommand.c_str());
  }
  std::printf("blocked: %zu\n", view.blocked.size());
  if (!view.blocked.empty()) std::printf("address\ttime left\n");
  for (const auto& b : view.blocked) {
    std::printf("%s\t%s\n", b.address.c_str(), b.timeLeft.c_str());
  }
  std::printf("limited: %zu\n", view.limited.size());
  if (!view.limited.empty()) std::printf("address\trefused\ttimed out\n");
  for (const auto& l : view.limited) {
    std::printf("%s\t%s\t%s\n", l.address.c_str(), l.refused.c_str(), l.timedOut.c_str());
  }
}

void Kick(const Options& o) {
  if (o.all == !o.address.empty()) throw UsageError("kick takes an ADDRESS or --all");
  if (o.all) {
    const std::vector<std::string> lines = Ask(o, orvo::service::kKickAllRequest);
    std::printf("logins ended: %s\n", lines.empty() ? "0" : lines.front().c_str());
    return;
  }
  Ask(o, std::string(orvo::service::kKickRequest) + " " + o.address);
  std::printf("the login of %s has ended\n", o.address.c_str());
}

void Unblock(const Options& o) {
  Ask(o, std::string(orvo::service::kUnblockRequest) + " " + o.address);
  std::printf("%s may log in again\n", o.address.c_str());
}

// A service started on an empty timetable pauses its gate by itself, and the pause outlasts the
// lessons added afterwards: a lesson added then would seem to have no effect.
void WarnIfGatePaused(const Options& o) {
  try {
    const orvo::service::ControlReply reply =
        orvo::service::AskService(Folder(o), orvo::service::kGateRequest);
    if (reply.ok && orvo::service::ParseGateStatus(reply.lines).paused) {
      std::fprintf(stderr,
                   "orvo-admin: note: the running service's timetable gate is paused, so every "
                   "class may log in; orvo-admin gate resume lets the timetable decide\n");
    }
  } catch (const orvo::platform::ControlChannelError&) {
    // TellService has just reached it; a service stopping meanwhile has no gate to speak of.
  }
}

// `request` is one of the gate requests; each answers with the gate's state.
void Gate(const Options& o, const char* request) {
  const orvo::service::GateStatus gate = orvo::service::ParseGateStatus(Ask(o, request));
  static const char* const kWeekdays[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                          "Friday", "Saturday", "Sunday"};
  std::printf("paused: %s\n", gate.paused ? "yes (every class may log in; not kept over a restart)"
                                          : "no (the timetable decides)");
  if (gate.weekAdjustment >= 1 && gate.weekAdjustment <= 7) {
    std::printf("weekday adjustment: today follows %s's lessons\n",
                kWeekdays[gate.weekAdjustment - 1]);
  } else {
    std::printf("weekday adjustment: none\n");
  }
  if (!gate.problem.empty()) {
    std::printf("lesson now: cannot be found: %s\n", gate.problem.c_str());
  } else if (gate.currentClass == orvo::store::kEveryClass) {
    std::printf("lesson now: every class\n");
  } else {
    std::printf("lesson now: %s\n", gate.currentClass.empty() ? "none" : gate.currentClass.c_str());
  }
}

// The start of the work a class-work command looks at: --since or --all, else today's lesson.
void AddStartOptions(CLI::App& command, orvo::admin::ClassworkArguments& work) {
  command.add_option("--since", work.since, "the start: a local time \"YYYY-MM-DD HH:MM\"");
  command.add_flag("--all", work.all, "every file, whenever it changed");
}

}  // namespace

int main(int argc, char** argv) {
  orvo::platform::CommandLineArguments arguments(argc, argv);
  orvo::platform::UseUtf8Output();
  CLI::App app{"Administration of the Orvo database (orvoDisk.db)"};
  orvo::app::AddVersionFlag(app, "orvo-admin");
  app.require_subcommand(1);
  Options o;
  app.add_option(
      "--dir", o.directory,
      "folder that holds orvoDisk.db (default: the program's folder; for a program installed "
      "below /usr, ~/.local/share/orvo)");

  enum class Action {
    None,
    Init,
    ClassAdd,
    ClassDel,
    ClassList,
    StudentAdd,
    StudentDel,
    StudentList,
    TimetableAdd,
    TimetableDel,
    TimetableClear,
    TimetableList,
    SettingsShow,
    SettingsSet,
    Online,
    Kick,
    Unblock,
    GatePause,
    GateResume,
    GateStatus,
    Report,
    Collect,
    Distribute,
    Pack
  };
  Action action = Action::None;
  auto on = [&action](Action a) { return [&action, a] { action = a; }; };

  app.add_subcommand("init", "create orvoDisk.db with empty tables")->callback(on(Action::Init));

  auto* cls = app.add_subcommand("class", "classes")->require_subcommand(1);
  cls->add_subcommand("add",
                      "add a class; blanks at both ends are dropped, a name students could not "
                      "log in with is refused (exit status 1)")
      ->callback(on(Action::ClassAdd))
      ->add_option("CLASS", o.name)
      ->required();
  cls->add_subcommand("del", "delete a class (its students stay)")
      ->callback(on(Action::ClassDel))
      ->add_option("CLASS", o.name)
      ->required();
  cls->add_subcommand("list", "list the classes in Chinese (pinyin) order")
      ->callback(on(Action::ClassList));

  auto* student = app.add_subcommand("student", "students")->require_subcommand(1);
  auto* studentAdd = student->add_subcommand(
      "add",
      "add students (names as arguments, or one a line on standard input). Blanks at both ends "
      "are dropped and blank lines skipped; names the class has are skipped. A name students "
      "could not log in with (a blank inside, a character the clients' code page lacks, no "
      "valid folder name) is refused on standard error while the others are added; the exit "
      "status is then 1");
  studentAdd->callback(on(Action::StudentAdd));
  studentAdd->add_option("CLASS", o.name)->required();
  studentAdd->add_option("NAME", o.names);
  auto* studentDel = student->add_subcommand("del", "delete a student");
  studentDel->callback(on(Action::StudentDel));
  studentDel->add_option("CLASS", o.name)->required();
  studentDel->add_option("NAME", o.names)->required();
  student
      ->add_subcommand("list",
                       "list the students of a class in Chinese (pinyin) order of their names: "
                       "id, class, name, login id, password")
      ->callback(on(Action::StudentList))
      ->add_option("CLASS", o.name)
      ->required();

  auto* timetable = app.add_subcommand("timetable", "the weekly timetable")->require_subcommand(1);
  auto* ttAdd = timetable->add_subcommand("add", "add a lesson: WEEKDAY (1-7) BEGIN END CLASSES");
  ttAdd->callback(on(Action::TimetableAdd));
  ttAdd->add_option("WEEKDAY", o.weekday)->required();
  ttAdd->add_option("BEGIN", o.begin)->required();
  ttAdd->add_option("END", o.end)->required();
  ttAdd->add_option("CLASSES", o.classes)->required();
  timetable->add_subcommand("del", "delete one lesson by id")
      ->callback(on(Action::TimetableDel))
      ->add_option("ID", o.id)
      ->required();
  timetable->add_subcommand("clear", "delete every lesson")->callback(on(Action::TimetableClear));
  timetable->add_subcommand("list", "list the lessons by weekday and start")
      ->callback(on(Action::TimetableList));

  auto* settings = app.add_subcommand("settings", "saved settings")->require_subcommand(1);
  settings->add_subcommand("show", "show the saved settings")->callback(on(Action::SettingsShow));
  auto* set = settings->add_subcommand("set", "change saved settings");
  set->callback(on(Action::SettingsSet));
  set->add_option("--root", o.root, "root folder of the student folders");
  set->add_option("--public", o.publicPath, "shared classroom-resources folder");
  set->add_option("--student-list", o.studentList, "serve class student lists to clients (on|off)");
  set->add_option("--class-list", o.classList, "serve the class list to clients (on|off)");
  set->add_option("--option", o.optionSets,
                  "set an option: NAME=VALUE; NAME= (empty) gives it back its default; repeatable");
  set->add_option("--reset-option", o.optionResets, "give an option back its default (repeatable)");
  std::string optionHelp = "Options:";
  for (const orvo::core::OptionInfo& option : orvo::core::OptionCatalog()) {
    optionHelp += std::string("\n  ") + option.name + " (default " +
                  (*option.defaultValue ? option.defaultValue : "empty") + "): " + option.help;
  }
  set->footer(optionHelp);

  app.add_subcommand("online",
                     "list the logins, blocked and limited addresses of the running service")
      ->callback(on(Action::Online));
  auto* kick = app.add_subcommand("kick", "end the login of an address (--all: every login)");
  kick->callback(on(Action::Kick));
  kick->add_option("ADDRESS", o.address);
  kick->add_flag("--all", o.all, "end every login (the end of a lesson)");
  app.add_subcommand("unblock", "let a blocked address log in again at once")
      ->callback(on(Action::Unblock))
      ->add_option("ADDRESS", o.address)
      ->required();

  auto* gate = app.add_subcommand(
      "gate", "the timetable gate of the running service (a pause is not kept over a restart)");
  gate->require_subcommand(1);
  gate->add_subcommand("pause", "let every class log in, whatever the timetable says")
      ->callback(on(Action::GatePause));
  gate->add_subcommand("resume", "let the timetable decide again who may log in")
      ->callback(on(Action::GateResume));
  gate->add_subcommand("status",
                       "show whether the gate is paused, the weekday adjustment and the lesson now")
      ->callback(on(Action::GateStatus));

  auto* report = app.add_subcommand(
      "report",
      "who handed in what: per student of CLASS the files changed since the start (by default the "
      "start of the class's latest lesson today), their bytes and newest change, or 未交; "
      "tab-separated, as the CSV");
  report->callback(on(Action::Report));
  report->add_option("CLASS", o.work.className)->required();
  AddStartOptions(*report, o.work);
  report->add_option("--csv", o.work.csv, "also write the report to this CSV file (UTF-8, BOM)");
  auto* collect = app.add_subcommand(
      "collect",
      "one zip of CLASS's work: CLASS/NAME/path for each student's files changed since the start "
      "(as for report), and CLASS/清单.csv listing every file with bytes, time and SHA-256 and "
      "every student without work; prints the archive's path");
  collect->callback(on(Action::Collect));
  collect->add_option("CLASS", o.work.className)->required();
  AddStartOptions(*collect, o.work);
  collect->add_option("--out", o.work.out,
                      "the archive to write (default: CLASS-YYYYMMDD-HHMM.zip in this folder)");
  auto* distribute = app.add_subcommand(
      "distribute",
      "copy a file or folder into every student folder of CLASS; a student's entry of the same "
      "name is never replaced but skipped and reported");
  distribute->callback(on(Action::Distribute));
  distribute->add_option("CLASS", o.work.className)->required();
  distribute->add_option("PATH", o.work.path, "the file or folder to hand out")->required();
  distribute->add_option("--into", o.work.into,
                         "a subfolder of each student's folder, made when missing");
  app.add_subcommand("pack",
                     "pack FOLDER into FOLDER.zip beside it, as the console's folder packing does "
                     "(needs no database); prints the archive's path")
      ->callback(on(Action::Pack))
      ->add_option("FOLDER", o.folder)
      ->required();

  CLI11_PARSE(app, arguments.Count(), arguments.Values());

  try {
    if (o.directory.empty() && action != Action::Pack) {
      o.directory = orvo::platform::DefaultDatabaseFolder(orvo::store::kDatabaseFileName);
    }
    // Run by root on a folder that a service's user owns, it works as that user, so that the
    // database and the student folders and files it makes stay usable by the service. Report,
    // collect and pack write only where the operator says, so they keep root.
    if (action != Action::Report && action != Action::Collect && action != Action::Pack) {
      orvo::platform::ActAsOwnerOf(Folder(o));
    }
    if (action == Action::Init) {
      Init(o);
      return 0;
    }
    if (action == Action::Pack) return orvo::app::PackCommand(o.folder);
    RequireDatabase(o);
    switch (action) {
      case Action::Online:
        Online(o);
        return 0;
      case Action::Kick:
        Kick(o);
        return 0;
      case Action::Unblock:
        Unblock(o);
        return 0;
      case Action::GatePause:
        Gate(o, orvo::service::kPauseRequest);
        return 0;
      case Action::GateResume:
        Gate(o, orvo::service::kResumeRequest);
        return 0;
      case Action::GateStatus:
        Gate(o, orvo::service::kGateRequest);
        return 0;
      default:
        break;
    }
    orvo::core::ServiceState state;
    TOrvoDiskDb db(DatabasePath(o), state.settings);
    // An older database gains the options table, as the service's start would give it.
    db.EnsureOptionsTable();
    // Student folders are made under the saved root folder, as the service would make them.
    orvo::service::LoadSettings(db, state);
    bool changes = true;
    int status = 0;
    std::optional<std::string> unitFolders;  // what settings set leaves for the service's unit
    switch (action) {
      case Action::ClassAdd:
        if (!ClassAdd(db, o)) return 1;
        break;
      case Action::ClassDel:
        ClassDel(db, o);
        break;
      case Action::ClassList:
        ClassList(db);
        changes = false;
        break;
      case Action::StudentAdd:
        if (!StudentAdd(db, o)) status = 1;
        break;
      case Action::StudentDel:
        StudentDel(db, o);
        break;
      case Action::StudentList:
        StudentList(db, o);
        changes = false;
        break;
      case Action::TimetableAdd:
        TimetableAdd(db, o);
        break;
      case Action::TimetableDel:
        TimetableDel(db, o);
        break;
      case Action::TimetableClear:
        db.DeleteTimeTableAll();
        break;
      case Action::TimetableList:
        TimetableList(db);
        changes = false;
        break;
      case Action::SettingsShow:
        SettingsShow(db);
        changes = false;
        break;
      case Action::SettingsSet:
        unitFolders = SettingsSet(db, o);
        break;
      case Action::Report:
        return orvo::admin::ReportCommand(db, state.settings.RootPath.Get(), o.work);
      case Action::Collect:
        return orvo::admin::CollectCommand(db, state.settings.RootPath.Get(), o.work);
      case Action::Distribute:
        return orvo::admin::DistributeCommand(db, state.settings.RootPath.Get(), o.work);
      default:
        break;
    }
    if (!changes) return status;
    const bool told = TellService(o);
    if (told && action == Action::TimetableAdd) WarnIfGatePaused(o);
    if (action == Action::SettingsSet) {
      std::printf(
          told ? "saved; the running service has taken it\n"
               : "saved; no service is running on this folder, one takes it when it starts\n");
      if (unitFolders && !UpdateServiceFolders(*unitFolders)) status = 1;
    }
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvo-admin: %s\n", e.what());
    return 1;
  }
}
