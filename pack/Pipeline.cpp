#include "pack/Pipeline.h"

#include <algorithm>
#include <exception>
#include <system_error>

namespace orvo::pack {
namespace {

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

}  // namespace

Pipeline::Pipeline(const FileSource& source, CompressSettings settings, unsigned workers)
    : source_(source),
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

Pipeline::~Pipeline() {
  Stop();
}

Job* Pipeline::Front() {
  std::unique_lock lock(lock_);
  while (Admit(lock)) {
  }
  return window_.empty() ? nullptr : window_.front().get();
}

void Pipeline::Finish(Job& front) {
  std::unique_lock lock(lock_);
  while (front.state != Job::State::Done) {
    if (threads_.empty()) {
      Run(front, lock, callerBuffer_);
    } else if (!Admit(lock)) {
      jobDone_.wait(lock);
    }
  }
}

void Pipeline::PopFront() {
  std::lock_guard guard(lock_);
  memory_ -= window_.front()->memory;
  window_.pop_front();
}

void Pipeline::Stop() {
  cancel_.store(true);
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  workReady_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

bool Pipeline::Admit(std::unique_lock<std::mutex>& lock) {
  const bool room = window_.empty() || (window_.size() < maxFiles_ && memory_ < maxMemory_);
  if (!room || sourceOver_) return false;
  lock.unlock();
  std::optional<TreeFile> file = source_();
  std::unique_ptr<Job> job;
  if (file) {
    job = std::make_unique<Job>();
    // A link's own size says nothing of its file's.
    job->memory =
        file->data.IsLink()
            ? settings_.memoryBytes
            : static_cast<std::size_t>(std::min<uint64_t>(file->data.size, settings_.memoryBytes));
    job->file = std::move(*file);
  }
  lock.lock();
  if (!job) {
    sourceOver_ = true;
    return false;
  }
  memory_ += job->memory;
  window_.push_back(std::move(job));
  workReady_.notify_one();
  return true;
}

Job* Pipeline::FirstWaiting() {
  for (const auto& job : window_) {
    if (job->state == Job::State::Waiting) return job.get();
  }
  return nullptr;
}

void Pipeline::Run(Job& job, std::unique_lock<std::mutex>& lock, std::string& buffer) {
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

void Pipeline::Work() {
  std::string buffer;
  std::unique_lock lock(lock_);
  for (;;) {
    workReady_.wait(lock, [this] { return stopping_ || FirstWaiting() != nullptr; });
    if (stopping_) return;
    Run(*FirstWaiting(), lock, buffer);
  }
}

}  // namespace orvo::pack
