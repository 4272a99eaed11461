#include "platform/Thread.h"

#include <pthread.h>

#include <system_error>

namespace orvo::platform {

struct JoinableThread::State {
  pthread_t handle{};
  std::function<void()> body;
  bool joinable = false;
};

namespace {
void* Run(void* arg) {
  auto* state = static_cast<JoinableThread::State*>(arg);
  state->body();
  return nullptr;
}
}  // namespace

JoinableThread::JoinableThread() = default;

JoinableThread::JoinableThread(std::function<void()> body, std::size_t stackBytes)
    : state_(std::make_unique<State>()) {
  state_->body = std::move(body);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, stackBytes);
  const int rc = pthread_create(&state_->handle, &attributes, &Run, state_.get());
  pthread_attr_destroy(&attributes);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "cannot start a thread");
  state_->joinable = true;
}

JoinableThread::~JoinableThread() {
  Join();
}

JoinableThread::JoinableThread(JoinableThread&&) noexcept = default;

JoinableThread& JoinableThread::operator=(JoinableThread&& other) noexcept {
  if (this != &other) {
    Join();
    state_ = std::move(other.state_);
  }
  return *this;
}

bool JoinableThread::Joinable() const {
  return state_ && state_->joinable;
}

void JoinableThread::Join() {
  if (Joinable()) {
    pthread_join(state_->handle, nullptr);
    state_->joinable = false;
  }
}

}  // namespace orvo::platform
