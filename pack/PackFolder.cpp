#include "pack/PackFolder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "pack/CompressedFile.h"
#include "pack/FolderWalk.h"
#include "pack/HostFiles.h"
#include "pack/ZipArchive.h"
#include "platform/PathSyntax.h"

namespace orvo::pack {
namespace {

// The failure's kind and its sentence for the error box.
void Fail(PackResult& result, PackError kind, const std::string& path, const std::string& reason) {
  const char* what = "";
  switch (kind) {
    case PackError::None:
      break;
    case PackError::CreateArchive:
      what = "Cannot create file";
      break;
    case PackError::OpenFile:
      what = "Cannot open file";
      break;
    case PackError::ReadFile:
      what = "Cannot read file";
      break;
    case PackError::WriteArchive:
      what = "Cannot write file";
      break;
  }
  result.errorKind = kind;
  result.error = std::string(what) + " \"" + path + "\". " + reason;
}

CompressOutcome CompressGuarded(const TreeFile& file, const CompressSettings& settings,
                                std::string& buffer, const std::atomic<bool>& cancel) {
  try {
    return CompressFile(file.fullPath, settings, buffer, cancel);
  } catch (const std::exception& e) {  // memory, in practice
    CompressOutcome outcome;
    outcome.failure = {CompressFailure::Kind::Read, e.what()};
    return outcome;
  }
}

struct Job {
  enum class State { Waiting, Working, Done };
  TreeFile file;
  // Memory counted for the job: what its stream may take while it waits or is deflated, what it
  // holds once done.
  std::size_t memory = 0;
  State state = State::Waiting;
  CompressOutcome outcome;
};

// The files between the walk and the archive: listed in entry order, deflated by the workers,
// handed to the calling thread in entry order. With one worker there are no threads: the calling
// thread deflates each file when its turn comes. With more, the calling thread only lists and
// writes, so that it hands each finished file on at once and the window of files in flight keeps
// moving; the window is bounded by the memory the streams in it hold, wide enough that while one
// worker deflates a big file the others find work among the files after it.
class Pipeline {
 public:
  Pipeline(FolderWalk& walk, CompressSettings settings, unsigned workers)
      : walk_(walk),
        settings_(std::move(settings)),
        maxFiles_(workers <= 1 ? 1 : kMaxFilesInFlight),
        maxMemory_(4 * std::size_t{workers} * settings_.memoryBytes) {
    if (workers <= 1) return;
    threads_.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) {
      try {
        threads_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;  // fewer workers; with none the calling thread deflates
      }
    }
  }
  ~Pipeline() { Stop(); }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // The next file in entry order, not necessarily deflated yet; nullptr after the last one.
  Job* Front() {
    std::unique_lock lock(lock_);
    while (Admit(lock)) {
    }
    return window_.empty() ? nullptr : window_.front().get();
  }

  // Waits until the front job is deflated, letting more files into the window meanwhile.
  void Finish(Job& front) {
    std::unique_lock lock(lock_);
    while (front.state != Job::State::Done) {
      if (threads_.empty()) {
        Run(front, lock, callerBuffer_);
      } else if (!Admit(lock)) {
        jobDone_.wait(lock);
      }
    }
  }

  void PopFront() {
    std::lock_guard guard(lock_);
    memory_ -= window_.front()->memory;
    window_.pop_front();
  }

  // Ends every worker; the jobs in flight are dropped.
  void Stop() {
    cancel_.store(true);
    {
      std::lock_guard guard(lock_);
      stopping_ = true;
    }
    workReady_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

 private:
  // Bounds the bookkeeping for trees of tiny files; memory bounds everything else.
  static constexpr std::size_t kMaxFilesInFlight = 4096;

  // Lets the next file of the walk into the window when there is room; false when there is none
  // or the walk is over. Lists without holding the lock.
  bool Admit(std::unique_lock<std::mutex>& lock) {
    const bool room = window_.empty() || (window_.size() < maxFiles_ && memory_ < maxMemory_);
    if (!room || walkOver_) return false;
    lock.unlock();
    std::optional<TreeFile> file = walk_.Next();
    std::unique_ptr<Job> job;
    if (file) {
      job = std::make_unique<Job>();
      // A link's own size says nothing of its file's.
      job->memory = file->data.IsLink() ? settings_.memoryBytes
                                        : static_cast<std::size_t>(std::min<uint64_t>(
                                              file->data.size, settings_.memoryBytes));
      job->file = std::move(*file);
    }
    lock.lock();
    if (!job) {
      walkOver_ = true;
      return false;
    }
    memory_ += job->memory;
    window_.push_back(std::move(job));
    workReady_.notify_one();
    return true;
  }

  Job* FirstWaiting() {
    for (const auto& job : window_) {
      if (job->state == Job::State::Waiting) return job.get();
    }
    return nullptr;
  }

  void Run(Job& job, std::unique_lock<std::mutex>& lock, std::string& buffer) {
    job.state = Job::State::Working;
    lock.unlock();
    CompressOutcome outcome = CompressGuarded(job.file, settings_, buffer, cancel_);
    lock.lock();
    // From now on the job holds its stream's memory part, mostly less than it was counted for.
    const std::size_t held = outcome.file ? outcome.file->head.capacity() : 0;
    memory_ = memory_ - job.memory + held;
    job.memory = held;
    job.outcome = std::move(outcome);
    job.state = Job::State::Done;
    jobDone_.notify_all();
  }

  void Work() {
    std::string buffer;
    std::unique_lock lock(lock_);
    for (;;) {
      workReady_.wait(lock, [this] { return stopping_ || FirstWaiting() != nullptr; });
      if (stopping_) return;
      Run(*FirstWaiting(), lock, buffer);
    }
  }

  FolderWalk& walk_;  // the calling thread's alone
  const CompressSettings settings_;
  const std::size_t maxFiles_;
  const std::size_t maxMemory_;
  std::atomic<bool> cancel_{false};
  std::mutex lock_;  // guards everything below but the buffer and the threads
  std::condition_variable workReady_;
  std::condition_variable jobDone_;
  bool stopping_ = false;
  bool walkOver_ = false;
  std::size_t memory_ = 0;
  std::deque<std::unique_ptr<Job>> window_;  // jobs stay where they are while a thread works
  std::string callerBuffer_;
  std::vector<std::thread> threads_;  // last: ended before anything they use goes away
};

}  // namespace

std::string ArchivePathFor(const std::string& folder) {
  return platform::TrimSeparators(folder) + ".zip";
}

PackResult PackFolder(const std::string& folder, PackProgress& progress, unsigned workers) {
  PackOptions options;
  options.workers = workers;
  return PackFolder(folder, progress, options);
}

PackResult PackFolder(const std::string& folder, PackProgress& progress,
                      const PackOptions& options) {
  const std::string root = platform::TrimSeparators(folder);
  PackResult result;
  result.archivePath = ArchivePathFor(root);

  const std::string rootProblem = host::FolderProblem(root);
  if (!rootProblem.empty()) {
    Fail(result, PackError::OpenFile, root, rootProblem);
    return result;
  }
  ZipArchive::CreateOutcome created = ZipArchive::Create(result.archivePath, options.limits);
  if (!created.archive) {
    Fail(result, PackError::CreateArchive, result.archivePath, created.reason);
    return result;
  }
  ZipArchive& archive = *created.archive;

  unsigned workers = options.workers;
  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  FolderWalk walk(root, LeaveOut{result.archivePath, archive.Identity()});
  CompressSettings settings{platform::FolderOf(result.archivePath), options.memoryBytesPerFile};
  std::exception_ptr raised;
  try {
    Pipeline pipeline(walk, settings, workers);  // its workers have ended when this block is left
    while (Job* job = pipeline.Front()) {
      progress.FilePacking(job->file.relativePath);
      pipeline.Finish(*job);
      if (!job->outcome.file) {
        const CompressFailure& failure = job->outcome.failure;
        switch (failure.kind) {
          case CompressFailure::Kind::Open:
          case CompressFailure::Kind::Cancelled:
            Fail(result, PackError::OpenFile, job->file.fullPath, failure.reason);
            break;
          case CompressFailure::Kind::Read:
            Fail(result, PackError::ReadFile, job->file.fullPath, failure.reason);
            break;
          case CompressFailure::Kind::Spill:
            Fail(result, PackError::WriteArchive, result.archivePath, failure.reason);
            break;
        }
        break;
      }
      try {
        archive.Append(job->file, *job->outcome.file);
      } catch (const std::system_error& e) {
        Fail(result, PackError::WriteArchive, result.archivePath, host::ErrorText(e.code()));
        break;
      }
      pipeline.PopFront();
    }
  } catch (...) {
    raised = std::current_exception();
  }

  result.complete = result.error.empty() && !raised;
  try {
    archive.Finish();
    result.entries = archive.Entries();
    result.archiveKept = true;
  } catch (const std::system_error& e) {
    archive.Discard();
    result.complete = false;
    if (result.error.empty()) {
      Fail(result, PackError::WriteArchive, result.archivePath, host::ErrorText(e.code()));
    }
  }
  if (result.errorKind == PackError::WriteArchive) {
    result.error +=
        result.archiveKept
            ? ". The archive holds the " + std::to_string(result.entries) + " files packed before."
            : ". The archive was removed.";
  }
  if (raised) std::rethrow_exception(raised);
  return result;
}

}  // namespace orvo::pack
