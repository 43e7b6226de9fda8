#pragma once
// Manual-reset and auto-reset events: the blocking primitives the global lock and the notify
// thread wait on. Set/Reset/Wait may be called from any thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tardivox {

// Stays signalled until Reset; every waiter passes while it is signalled.
class TManualResetEvent {
 public:
  explicit TManualResetEvent(bool signalled) : signalled_(signalled) {}
  void Set();
  void Reset();
  void Wait();
  bool IsSet() const;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  // Written under mutex_; read without it on the fast path of Wait and IsSet.
  std::atomic<bool> signalled_;
};

// Lets exactly one waiter through per Set; several Sets before a Wait count as one.
class TAutoResetEvent {
 public:
  explicit TAutoResetEvent(bool signalled = false) : signalled_(signalled) {}
  void Set();
  void Wait();
  // Returns false when the timeout passed without a Set.
  bool WaitFor(std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_;
};

}  // namespace tardivox
