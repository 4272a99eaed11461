// In-process figures for the database work of the account commands on a real database file: a
// login look-up and a list add, each in a small class and in a class of 10,000 students, to show
// that the indexes keep the cost from growing with the class.
// The databases live in a temporary folder under /tmp that is removed when the program ends.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/SettingsValues.h"
#include "store/CreateDatabase.h"
#include "store/OrvoDiskDbUnit.h"

namespace {

namespace fs = std::filesystem;
using orvo::store::TOrvoDiskDb;

constexpr char kClass[] = "class1";
constexpr int kAddedNames = 1000;

std::string StudentName(const char* prefix, int index) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%05d", prefix, index);
  return name;
}

// The temporary folder of the whole run; every database and student folder lives below it.
class BenchFolder {
 public:
  BenchFolder() {
    std::string pattern = (fs::temp_directory_path() / "orvo-store-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~BenchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

BenchFolder& Folder() {
  static BenchFolder folder;
  return folder;
}

// A database file holding one class of `students` students ("s00000", ...), made once per shape
// and kept open for every run of the benchmarks that use it. With `folders` the students' folders
// are made under a root folder of its own, as the service makes them.
struct ClassDatabase {
  std::unique_ptr<orvo::core::SettingsValues> settings;  // the root folder, as the service has it
  std::unique_ptr<TOrvoDiskDb> db;
  std::unique_ptr<orvo::store::TSimpleDb> undo;  // a second connection that clears up between runs
  std::string root;                              // empty: no student folders
};

ClassDatabase& Database(const std::string& use, int students, bool folders) {
  // The folder is made first so that it outlives the open databases at exit.
  const fs::path& base = Folder().Path();
  static std::map<std::string, ClassDatabase> made;
  const std::string key = use + "-" + std::to_string(students) + (folders ? "-folders" : "");
  auto found = made.find(key);
  if (found != made.end()) return found->second;

  const fs::path file = base / (key + ".db");
  orvo::store::CreateDatabaseFile(file.string(), std::string(orvo::store::SchemaSql()));
  ClassDatabase entry;
  entry.settings = std::make_unique<orvo::core::SettingsValues>();
  entry.db = std::make_unique<TOrvoDiskDb>(file.string(), *entry.settings);
  entry.undo = std::make_unique<orvo::store::TSimpleDb>(file.string());
  if (folders) {
    entry.root = (base / (key + "-root")).string();
    fs::create_directories(entry.root);
  }
  entry.settings->RootPath.Set(entry.root);
  entry.db->AddGroup(kClass);
  std::vector<std::string> names;
  for (int i = 0; i < students; ++i) names.push_back(StudentName("s", i));
  entry.db->AddUser(names, kClass);
  return made.emplace(key, std::move(entry)).first->second;
}

// Accepted logins of the student in the middle of the class, the gate paused so that the class
// test passes: the look-up by class, login id and password.
void BM_CheckLogin(benchmark::State& state) {
  const int students = static_cast<int>(state.range(0));
  ClassDatabase& entry = Database("login", students, false);
  TOrvoDiskDb& db = *entry.db;
  db.SetStopTimeTable(true);
  const std::string student = StudentName("s", students / 2);
  for (auto _ : state) {
    const orvo::store::LoginResult result =
        db.CheckLogin(kClass, student, orvo::store::kDefaultPassword);
    if (!result.accepted) {
      state.SkipWithError("the login was refused");
      break;
    }
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_CheckLogin)->ArgName("students")->Arg(10)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The list form of AddUser with 1,000 new names: one existence test per name, then the inserts in
// one transaction (one commit, so one flush to disk), and with a root folder one student folder
// per name. Between runs the added rows and folders are removed again, outside the timing.
void BM_AddUserList(benchmark::State& state) {
  const int students = static_cast<int>(state.range(0));
  const bool folders = state.range(1) != 0;
  ClassDatabase& entry = Database("add", students, folders);
  TOrvoDiskDb& db = *entry.db;

  std::vector<std::string> fresh;
  for (int i = 0; i < kAddedNames; ++i) fresh.push_back(StudentName("n", i));
  const std::string added = "GroupName='" + std::string(kClass) + "' and UserName like 'n%'";
  for (auto _ : state) {
    std::vector<std::string> names = fresh;
    db.AddUser(names, kClass);
    state.PauseTiming();
    if (names.size() != fresh.size()) {
      state.SkipWithError("names were skipped");
      state.ResumeTiming();
      break;
    }
    try {
      entry.undo->Delete("Users", added);
    } catch (const orvo::store::DbError& error) {
      state.SkipWithError(error.what());
      state.ResumeTiming();
      break;
    }
    if (folders) {
      for (const std::string& name : fresh) fs::remove(fs::path(entry.root) / kClass / name);
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kAddedNames);
  state.SetLabel(folders ? "with student folders" : "without folders");
}
BENCHMARK(BM_AddUserList)
    ->ArgNames({"students", "folders"})
    ->Args({0, 0})
    ->Args({10000, 0})
    ->Args({0, 1})
    ->Args({10000, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
