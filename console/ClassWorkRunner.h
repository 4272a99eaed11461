// Runs one piece of long class work (a report, a collection, a hand-out) at a time on a worker
// thread, so that the window stays responsive: the work's progress reaches the window as a text
// naming the student and a count, its end as a function the work returns, both on the window
// thread. Cancel asks the work to end early (its end is still shown); Stop (and destruction) ends
// it and waits, and nothing more is shown. Window thread only; the work runs on the worker.
#pragma once

#include <QString>
#include <functional>

#include "console/WindowWorker.h"

namespace orvo::classwork {
class WorkProgress;
}

namespace orvo::console {

class ClassWorkRunner {
 public:
  // Called with the text of the student being worked on ("正在收取：张三（3/40）") and how many
  // students are done of how many.
  using Progress = std::function<void(const QString& text, int done, int count)>;
  // The work: runs on the worker with a progress that reports and asks for stops; returns what
  // shows its end, which runs on the window thread.
  using Work = std::function<std::function<void()>(classwork::WorkProgress& progress)>;

  // `progress` and `failed` (a failure the work raised, in an error box) run on the window thread.
  ClassWorkRunner(Progress progress, std::function<void(const QString&)> failed);
  ~ClassWorkRunner();
  ClassWorkRunner(const ClassWorkRunner&) = delete;
  ClassWorkRunner& operator=(const ClassWorkRunner&) = delete;

  // Starts `work`, its progress texts beginning with `doing`; false (and nothing starts) while
  // another runs.
  bool Start(const QString& doing, Work work);
  // From Start until the end has been shown.
  bool Running() const { return running_; }
  // Asks the work under way to end at its next look; its end is shown as usual.
  void Cancel();
  // Ends the work under way and waits for its thread; nothing more is shown for it.
  void Stop();

 private:
  void Finish(const std::function<void()>& show);

  Progress progress_;
  std::function<void(const QString&)> failed_;
  bool running_ = false;
  WindowWorker worker_;
};

}  // namespace orvo::console
