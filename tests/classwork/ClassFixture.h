// A class on disk for class-work tests: a root folder with CLASS/LOGINID folders, files written
// with the modification times a test chooses, and the roster that points at them.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "classwork/ClassRoster.h"
#include "classwork/WorkProgress.h"
#include "platform/FindData.h"
#include "platform/PathSyntax.h"
#include "platform/Utf8Path.h"
#include "tests/support/TempDir.h"

namespace orvo::classwork::testing {

// 2026-12-11 08:00:00 UTC as a file time: the start the tests report from.
inline const uint64_t kStart = platform::ToFileTime(1796976000, 0);
inline constexpr uint64_t kMinute = 600000000;  // in 100 ns units

class ClassFixture {
 public:
  explicit ClassFixture(std::string className = "初二（3）班") : className_(std::move(className)) {}

  const std::string& ClassName() const { return className_; }
  std::string Root() const { return platform::PathText(dir_.Path()); }
  const std::vector<StudentFolder>& Roster() const { return roster_; }

  // A student whose folder exists (or not, with `makeFolder` false).
  StudentFolder& AddStudent(const std::string& name, bool makeFolder = true) {
    const std::string folder = dir_ / (className_ + "/" + name);
    if (makeFolder) std::filesystem::create_directories(platform::Utf8Path(folder));
    roster_.push_back({name, name, folder});
    return roster_.back();
  }

  // Writes `relative` in the student's folder with `content`, last changed at `fileTime`.
  std::string Write(const StudentFolder& student, const std::string& relative,
                    const std::string& content, uint64_t fileTime) const {
    const std::string path =
        dir_.Write(className_ + "/" + student.userId + "/" + relative, content);
    SetTime(path, fileTime);
    return path;
  }

  static void SetTime(const std::string& path, uint64_t fileTime) {
    using namespace std::chrono;
    const sys_seconds when{seconds{platform::FileTimeToUnixSeconds(fileTime)}};
    std::filesystem::last_write_time(platform::Utf8Path(path), file_clock::from_sys(when));
  }

  const orvo::testing::TempDir& Dir() const { return dir_; }

 private:
  orvo::testing::TempDir dir_;
  std::string className_;
  std::vector<StudentFolder> roster_;
};

// Progress that records what it is told and asks to stop after a number of students.
class RecordingProgress final : public WorkProgress {
 public:
  explicit RecordingProgress(std::size_t stopBeforeStudent = SIZE_MAX)
      : stopBefore_(stopBeforeStudent) {}
  void StudentStarted(std::size_t index, std::size_t, const std::string& name) override {
    current_ = index;
    students.push_back(name);
  }
  bool StopRequested() override { return current_ >= stopBefore_; }

  std::vector<std::string> students;

 private:
  std::size_t stopBefore_;
  std::size_t current_ = 0;
};

}  // namespace orvo::classwork::testing
