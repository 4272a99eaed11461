// A joinable thread with a chosen stack size: the server's workers and event loop need little
// stack, and a pool of them must not reserve the default 8 MiB each. The owner must Join() it.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace orvo::platform {

class JoinableThread {
 public:
  JoinableThread();
  // Raises std::system_error when the thread cannot be started.
  JoinableThread(std::function<void()> body, std::size_t stackBytes);
  ~JoinableThread();  // joins when still joinable
  JoinableThread(JoinableThread&&) noexcept;
  JoinableThread& operator=(JoinableThread&&) noexcept;

  bool Joinable() const;
  void Join();

  struct State;  // defined beside the thread entry point

 private:
  std::unique_ptr<State> state_;
};

}  // namespace orvo::platform
