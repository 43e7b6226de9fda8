#pragma once
// A worker thread that sleeps until it is signalled and then calls its owner back.
//
// Wake-up rule (auto-reset): one Signal wakes the worker for one call; several Signals before
// the worker wakes give one call; a Signal that arrives while the callback runs makes the
// callback run once more afterwards (however many arrived meanwhile).
//
// Threads: Signal may be called from any thread, at any time, also from the callback. Stop may
// be called from any thread; called from the callback it only asks the worker to end (the
// worker cannot wait for itself) and takes no lock, so it never waits for an owner that is
// stopping the worker at the same time. Destruction is the owner's, never from the callback. The
// callback runs on the worker thread and must take the locks it needs itself
// (lock sections of the pin framework); it runs at the highest normal priority the system
// grants (best effort: a refused priority change is ignored).
// Ownership: the owner keeps the object (usually as a member) and destroys it before anything
// the callback touches; destruction stops the worker and waits for it.
// Failure: an exception that escapes the callback ends the worker loop; it is kept and can be
// read with FatalException(). Signal after that, or after Stop, does nothing.

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "core/Events.h"

namespace tardivox {

class TSLNotifyThread {
 public:
  using Callback = std::function<void(TSLNotifyThread& thread)>;

  // Starts the worker at once; it waits for the first Signal. The callback is bound to the
  // owner by the caller (a lambda capturing it).
  explicit TSLNotifyThread(Callback callback);
  TSLNotifyThread(const TSLNotifyThread&) = delete;
  TSLNotifyThread& operator=(const TSLNotifyThread&) = delete;
  // Stops the worker (if not stopped yet) and waits for it.
  ~TSLNotifyThread();

  // Sets the wake event.
  void Signal();
  // Asks the worker to end, wakes it and waits until it has ended. A callback in progress runs
  // to its end first. Later calls do nothing.
  void Stop();

  // True once Stop was called.
  bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
  // True while the worker runs its loop (false once it ended, by Stop or by an error).
  bool Running() const { return running_.load(std::memory_order_acquire); }
  // The error that ended the worker loop, or null.
  std::exception_ptr FatalException() const;

 private:
  void Execute();

  TAutoResetEvent wake_{false};
  Callback callback_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> running_{true};
  mutable std::mutex errorGuard_;  // guards fatal_
  std::exception_ptr fatal_;
  // The worker's identity, set by the worker before its first callback: Stop compares it
  // without touching thread_, which a concurrent Stop may be joining.
  std::atomic<std::thread::id> workerId_{};
  std::mutex stopGuard_;  // serialises Stop callers around the join
  std::thread thread_;    // last: starts after every member above is ready
};

}  // namespace tardivox
