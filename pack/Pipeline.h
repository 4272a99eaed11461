// The files between their source and the archive, for the packing loop that PackFolder and
// PackEntries share: taken from the source in entry order, deflated by worker threads, handed to
// the calling thread in the same order. Internal to pack/.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pack/CompressedFile.h"
#include "pack/FolderWalk.h"

namespace orvo::pack {

// The next file to pack, or nullopt after the last.
using FileSource = std::function<std::optional<TreeFile>()>;

struct Job {
  enum class State { Waiting, Working, Done };
  TreeFile file;
  // Memory counted for the job: what its stream may take while it waits or is deflated, what it
  // holds once done.
  std::size_t memory = 0;
  State state = State::Waiting;
  CompressOutcome outcome;
};

// Files are listed in entry order, deflated by the workers, handed to the calling thread in entry
// order. With one worker there are no threads: the calling thread deflates each file when its turn
// comes. With more, the calling thread only lists and writes, so that it hands each finished file
// on at once and the window of files in flight keeps moving; the window is bounded by the memory
// the streams in it hold, wide enough that while one worker deflates a big file the others find
// work among the files after it. Everything but the workers runs on the calling thread, the
// source included (never under the lock).
class Pipeline {
 public:
  Pipeline(const FileSource& source, CompressSettings settings, unsigned workers);
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // The next file in entry order, not necessarily deflated yet; nullptr after the last one.
  Job* Front();
  // Waits until the front job is deflated, letting more files into the window meanwhile.
  void Finish(Job& front);
  void PopFront();
  // Ends every worker; the jobs in flight are dropped.
  void Stop();

 private:
  // Bounds the bookkeeping for trees of tiny files; memory bounds everything else.
  static constexpr std::size_t kMaxFilesInFlight = 4096;

  // Lets the next file of the source into the window when there is room; false when there is none
  // or the source is over. Expects the lock held; asks the source without it.
  bool Admit(std::unique_lock<std::mutex>& lock);
  Job* FirstWaiting();
  void Run(Job& job, std::unique_lock<std::mutex>& lock, std::string& buffer);
  void Work();

  const FileSource& source_;  // the calling thread's alone
  const CompressSettings settings_;
  const std::size_t maxFiles_;
  const std::size_t maxMemory_;
  std::atomic<bool> cancel_{false};
  std::mutex lock_;  // guards everything below but the buffer and the threads
  std::condition_variable workReady_;
  std::condition_variable jobDone_;
  bool stopping_ = false;
  bool sourceOver_ = false;
  std::size_t memory_ = 0;
  std::deque<std::unique_ptr<Job>> window_;  // jobs stay where they are while a thread works
  std::string callerBuffer_;
  std::vector<std::thread> threads_;  // last: ended before anything they use goes away
};

}  // namespace orvo::pack
