// Waiting for something another thread or process does, without guessing how long it takes: the
// condition is asked again and again until it holds or the limit passes.
#pragma once

#include <chrono>
#include <thread>

namespace orvo::testing {

// Whether `condition` came to hold within `limit`, asked every `step`.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10),
                std::chrono::milliseconds step = std::chrono::milliseconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(step);
  }
  return true;
}

}  // namespace orvo::testing
