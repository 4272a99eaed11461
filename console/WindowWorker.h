// The one worker thread of a window's long job: runs the job off the window thread, carries what
// the job posts back to the window thread, and on Stop ends the job, waits for it and drops what
// it posted but was not shown yet. Start, Join and Stop on the window thread; Post from the job.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <functional>
#include <stop_token>
#include <thread>
#include <utility>

namespace orvo::console {

class WindowWorker {
 public:
  WindowWorker() = default;
  ~WindowWorker() { Stop(); }
  WindowWorker(const WindowWorker&) = delete;
  WindowWorker& operator=(const WindowWorker&) = delete;

  // Runs `job` on a new thread; a job before it must have ended (Join or Stop).
  void Start(std::function<void(std::stop_token)> job) {
    if (thread_.joinable()) thread_.join();
    thread_ = std::jthread(std::move(job));
  }
  // Runs `show` on the window thread, unless Stop comes first.
  void Post(std::function<void()> show) {
    QMetaObject::invokeMethod(&inbox_, std::move(show), Qt::QueuedConnection);
  }
  // Asks the job to end early at its next look at its stop token.
  void RequestStop() { thread_.request_stop(); }
  // Waits for a job that has posted its last act.
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  // Ends the job under way and waits for it; what it posted and was not shown yet is dropped.
  // False when no job was there.
  bool Stop() {
    if (!thread_.joinable()) return false;
    thread_.request_stop();
    thread_.join();
    QCoreApplication::removePostedEvents(&inbox_);
    return true;
  }

 private:
  QObject inbox_;        // receives the posts on the window thread
  std::jthread thread_;  // last: ended before the inbox goes
};

}  // namespace orvo::console
