#include "classwork/CollectWork.h"

#include <cstdio>
#include <exception>
#include <memory>

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
// student's files after another, and writes the manifest from what the packer reports.
class Collector final : public pack::EntriesProgress {
 public:
  Collector(const CollectRequest& request, WorkProgress& progress, CollectResult& result)
      : request_(request), progress_(progress), result_(result) {
    manifest_ = std::string(kUtf8ByteOrderMark) +
                CsvLine({"姓名", "文件", "字节数", "最后修改", "SHA-256", "状态"});
  }

  std::optional<pack::TreeFile> Next() {
    for (;;) {
      if (files_) {
        if (std::optional<pack::TreeFile> file = files_->Next()) {
          file->entryName = folderEntry_ + file->entryName;
          return file;
        }
        EndStudent();
      }
      if (next_ >= request_.students.size()) return std::nullopt;
      const StudentFolder& student = request_.students[next_];
      progress_.StudentStarted(next_, request_.students.size(), student.name);
      if (progress_.StopRequested()) throw Stopped{};
      ++next_;
      packedForStudent_ = 0;
      folderEntry_ = platform::SanitizeUtf8(request_.className) + '/' +
                     platform::SanitizeUtf8(student.name) + '/';
      files_.emplace(student, request_.since);
    }
  }

  std::vector<pack::MemoryEntry> Trailer() {
    return {{platform::SanitizeUtf8(request_.className) + '/' + kManifestName, manifest_}};
  }

  void FilePacking(const std::string& relativePath) override {
    if (progress_.StopRequested()) throw Stopped{};
    progress_.FileStarted(relativePath);
  }

  void FilePacked(const pack::PackedFile& packed) override {
    ++result_.files;
    ++packedForStudent_;
    result_.bytes += packed.bytes;
    Row(InStudentFolder(packed.file), std::to_string(packed.bytes),
        FileTimeText(packed.file.data.lastWriteTime), platform::HexDigest(packed.sha256),
        "已收取");
  }

  void FileSkipped(const pack::TreeFile& file, pack::PackError /*kind*/,
                   const std::string& reason) override {
    Problem problem{Fault::kFileUnreadable, file.fullPath, reason, CurrentName()};
    Row(InStudentFolder(file), {}, {}, {}, "未收取：" + ChineseText(problem));
    result_.skipped.push_back(std::move(problem));
  }

 private:
  const std::string& CurrentName() const { return request_.students[next_ - 1].name; }
  // The file's path in the manifest: its entry name below the student's folder (UTF-8, '/').
  std::string InStudentFolder(const pack::TreeFile& file) const {
    return file.entryName.substr(folderEntry_.size());
  }

  void Row(const std::string& path, const std::string& bytes, const std::string& time,
           const std::string& digest, const std::string& status) {
    manifest_ += CsvLine({CsvText(CurrentName()), CsvText(path), bytes, time, digest,
                          CsvText(status)});
  }

  // After a student's last file: the student without work, and a folder that could not be read.
  void EndStudent() {
    const std::optional<Problem> problem = files_->FolderProblem();
    files_.reset();
    if (problem) {
      Row({}, {}, {}, {}, ChineseText(*problem));
      result_.skipped.push_back(*problem);
    }
    if (packedForStudent_ > 0) {
      ++result_.studentsWithWork;
    } else {
      ++result_.studentsWithout;
      if (!problem) Row({}, {}, {}, {}, "未交");
    }
  }

  const CollectRequest& request_;
  WorkProgress& progress_;
  CollectResult& result_;
  std::string manifest_;
  std::size_t next_ = 0;  // the student after the one being walked
  std::size_t packedForStudent_ = 0;
  std::string folderEntry_;
  std::optional<WorkFiles> files_;
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
