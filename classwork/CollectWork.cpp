#include "classwork/CollectWork.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <unordered_map>

#include "classwork/Csv.h"
#include "classwork/LocalTime.h"
#include "classwork/WorkFiles.h"
#include "pack/PackEntries.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Sha256.h"

namespace orvo::classwork {
namespace {

// Raised from the packer's progress when the operator stops the collection.
struct Stopped {};

std::string SafeFileName(std::string name) {
  for (char& c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) c = '_';
  }
  return name;
}

// The collection's walk over the class and its record of what went where: feeds the packer one
// student's files after another, and writes the manifest from what the packer reports. The
// packer reads ahead of what it has written, so each report is matched to its student by the
// file's path, not by where the walk is.
class Collector final : public pack::EntriesProgress {
 public:
  Collector(const CollectRequest& request, WorkProgress& progress, CollectResult& result)
      : request_(request),
        progress_(progress),
        result_(result),
        students_(request.students.size()) {}

  std::optional<pack::TreeFile> Next() {
    for (;;) {
      if (files_) {
        if (std::optional<pack::TreeFile> file = files_->Next()) {
          file->entryName = FolderEntry(walked_) + file->entryName;
          walking_.emplace(file->fullPath, walked_);
          return file;
        }
        students_[walked_].folderProblem = files_->FolderProblem();
        files_.reset();
        ++walked_;
      }
      if (walked_ >= request_.students.size()) return std::nullopt;
      const StudentFolder& student = request_.students[walked_];
      progress_.StudentStarted(walked_, request_.students.size(), student.name);
      if (progress_.StopRequested()) throw Stopped{};
      files_.emplace(student, request_.since);
    }
  }

  // The manifest, once every file has been packed or skipped: the students in roster order, each
  // with their files, the files left out and their folder's problem, or "未交".
  std::vector<pack::MemoryEntry> Trailer() {
    std::string manifest = std::string(kUtf8ByteOrderMark) +
                           CsvLine({"姓名", "文件", "字节数", "最后修改", "SHA-256", "状态"});
    for (std::size_t i = 0; i < students_.size(); ++i) {
      const Student& student = students_[i];
      manifest += student.rows;
      if (student.folderProblem) {
        manifest += Row(i, {}, {}, {}, {}, ChineseText(*student.folderProblem));
      } else if (student.packed == 0) {
        manifest += Row(i, {}, {}, {}, {}, "未交");
      }
      ++(student.packed > 0 ? result_.studentsWithWork : result_.studentsWithout);
    }
    return {
        {platform::SanitizeUtf8(request_.className) + '/' + kManifestName, std::move(manifest)}};
  }

  void FilePacking(const std::string& relativePath) override {
    if (progress_.StopRequested()) throw Stopped{};
    progress_.FileStarted(relativePath);
  }

  void FilePacked(const pack::PackedFile& packed) override {
    const std::size_t i = StudentOf(packed.file);
    ++students_[i].packed;
    ++result_.files;
    result_.bytes += packed.bytes;
    students_[i].rows += Row(i, InStudentFolder(i, packed.file), std::to_string(packed.bytes),
                             FileTimeText(packed.file.data.lastWriteTime),
                             platform::HexDigest(packed.sha256), "已收取");
  }

  void FileSkipped(const pack::TreeFile& file, pack::PackError /*kind*/,
                   const std::string& reason) override {
    const std::size_t i = StudentOf(file);
    Problem problem{Fault::kFileUnreadable, file.fullPath, reason, request_.students[i].name};
    students_[i].rows +=
        Row(i, InStudentFolder(i, file), {}, {}, {}, "未收取：" + ChineseText(problem));
    students_[i].skippedFiles.push_back(std::move(problem));
  }

  // Lists what was left out in roster order: each student's unreadable files, then the folder.
  void ListSkipped() {
    for (Student& student : students_) {
      for (Problem& problem : student.skippedFiles) result_.skipped.push_back(std::move(problem));
      if (student.folderProblem) result_.skipped.push_back(*student.folderProblem);
    }
  }

 private:
  struct Student {
    std::string rows;  // the manifest's rows of its files, in entry order
    std::size_t packed = 0;
    std::optional<Problem> folderProblem;
    std::vector<Problem> skippedFiles;
  };

  std::string FolderEntry(std::size_t i) const {
    return platform::SanitizeUtf8(request_.className) + '/' +
           platform::SanitizeUtf8(request_.students[i].name) + '/';
  }

  // The student whose walk yielded the file; each file is reported once.
  std::size_t StudentOf(const pack::TreeFile& file) {
    const auto found = walking_.find(file.fullPath);
    const std::size_t i = found->second;
    walking_.erase(found);
    return i;
  }

  // The file's path in the manifest: its entry name below the student's folder (UTF-8, '/').
  std::string InStudentFolder(std::size_t i, const pack::TreeFile& file) const {
    return file.entryName.substr(FolderEntry(i).size());
  }

  std::string Row(std::size_t i, const std::string& path, const std::string& bytes,
                  const std::string& time, const std::string& digest,
                  const std::string& status) const {
    return CsvLine(
        {CsvText(request_.students[i].name), CsvText(path), bytes, time, digest, CsvText(status)});
  }

  const CollectRequest& request_;
  WorkProgress& progress_;
  CollectResult& result_;
  std::vector<Student> students_;
  std::size_t walked_ = 0;  // the student whose folder is being walked
  std::optional<WorkFiles> files_;
  // Files handed to the packer and not yet reported, by path, with their student.
  std::unordered_map<std::string, std::size_t> walking_;
};

}  // namespace

std::string DefaultArchiveName(const std::string& className, const platform::LocalDateTime& now) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "-%04d%02d%02d-%02d%02d.zip", now.year, now.month, now.day,
                now.hour, now.minute);
  return SafeFileName(className) + stamp;
}

CollectResult CollectWork(const CollectRequest& request, WorkProgress& progress) {
  CollectResult result;
  result.archivePath = request.archivePath;
  Collector collector(request, progress, result);

  pack::EntriesOptions options;
  options.pack.workers = request.workers;
  options.skipUnreadable = true;
  options.sha256 = true;
  pack::PackResult packed;
  try {
    packed = pack::PackEntries(
        request.archivePath, [&] { return collector.Next(); }, collector, options,
        [&] { return collector.Trailer(); });
  } catch (const Stopped&) {
    // The packer finished the archive with what went in before: a partial collection is of no
    // use, and the operator asked for none.
    platform::RemoveFile(request.archivePath);
    result.failure = Problem{Fault::kCancelled, request.archivePath, {}, {}};
    return result;
  }
  collector.ListSkipped();
  result.complete = packed.complete;
  result.archiveKept = packed.archiveKept;
  if (!packed.complete && packed.archiveKept) {
    // Finished with the files before the failure but without its manifest, an archive would pass
    // for the whole collection: it goes.
    platform::RemoveFile(request.archivePath);
    result.archiveKept = false;
  }
  if (packed.errorKind == pack::PackError::CreateArchive) {
    result.failure = Problem{Fault::kArchiveCreate, request.archivePath, packed.errorReason, {}};
  } else if (packed.errorKind != pack::PackError::None) {
    result.failure = Problem{Fault::kArchiveWrite, request.archivePath, packed.errorReason, {}};
  }
  return result;
}

}  // namespace orvo::classwork
