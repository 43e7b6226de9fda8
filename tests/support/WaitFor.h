#pragma once
// Bounded waiting for conditions set by other threads: tests never sleep to wait for another
// thread, they poll a condition until it holds or a deadline passes, then fail clearly.

#include <chrono>
#include <functional>
#include <thread>

namespace tardivox::testing {

// Returns true as soon as condition() holds; false when timeout passed first.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// True when condition() stays false for the whole window (used to show that a thread is still
// blocked; the window bounds the test, it does not order threads).
inline bool StaysFalse(const std::function<bool()>& condition,
                       std::chrono::milliseconds window = std::chrono::milliseconds(50)) {
  return !WaitUntil(condition, window);
}

}  // namespace tardivox::testing
