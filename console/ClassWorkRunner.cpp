#include "console/ClassWorkRunner.h"

#include <exception>
#include <utility>

#include "classwork/WorkProgress.h"
#include "console/WindowSupport.h"

namespace orvo::console {
namespace {

// Posts each student to the window and answers stop requests from the thread's stop token.
class PostingProgress final : public classwork::WorkProgress {
 public:
  PostingProgress(QString doing, std::function<void(const QString&, int, int)> post,
                  std::stop_token stop)
      : doing_(std::move(doing)), post_(std::move(post)), stop_(std::move(stop)) {}

  void StudentStarted(std::size_t index, std::size_t count, const std::string& name) override {
    post_(QStringLiteral("%1%2（%3/%4）").arg(doing_, Text(name)).arg(index + 1).arg(count),
          static_cast<int>(index), static_cast<int>(count));
  }
  bool StopRequested() override { return stop_.stop_requested(); }

 private:
  QString doing_;
  std::function<void(const QString&, int, int)> post_;
  std::stop_token stop_;
};

}  // namespace

ClassWorkRunner::ClassWorkRunner(Progress progress, std::function<void(const QString&)> failed)
    : progress_(std::move(progress)), failed_(std::move(failed)) {}

ClassWorkRunner::~ClassWorkRunner() {
  Stop();
}

bool ClassWorkRunner::Start(const QString& doing, Work work) {
  if (running_) return false;
  running_ = true;
  worker_.Start([this, doing, work = std::move(work)](std::stop_token stop) {
    PostingProgress progress(
        doing,
        [this](const QString& text, int done, int count) {
          worker_.Post([this, text, done, count] { progress_(text, done, count); });
        },
        stop);
    std::function<void()> show;
    try {
      show = work(progress);
    } catch (const std::exception& e) {
      show = [this, why = QString::fromUtf8(e.what())] { failed_(why); };
    }
    worker_.Post([this, show = std::move(show)] { Finish(show); });
  });
  return true;
}

void ClassWorkRunner::Cancel() {
  if (running_) worker_.RequestStop();
}

void ClassWorkRunner::Stop() {
  if (worker_.Stop()) running_ = false;
}

void ClassWorkRunner::Finish(const std::function<void()>& show) {
  worker_.Join();  // it posted this as its last act
  running_ = false;
  if (show) show();
}

}  // namespace orvo::console
