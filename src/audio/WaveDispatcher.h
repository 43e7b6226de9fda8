#pragma once
// The callback thread of a wave service: callbacks are queued under the service's lock and
// made here, in the order queued, with no lock of the service held.
//
// Threads: Post, LastPosted and WaitDelivered may be called from any thread. WaitDelivered on
// the dispatch thread itself (a callback that resets or closes a device) makes the pending
// callbacks inline instead of waiting for itself.
// Rank: dispatch — see docs/ARCHITECTURE.md; the lock is never held while a callback runs.
// Lifetime: the destructor makes every queued callback, then ends the thread.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "audio/WaveService.h"
#include "core/RingQueue.h"

namespace tardivox {

class TALWaveDispatcher {
 public:
  TALWaveDispatcher();
  TALWaveDispatcher(const TALWaveDispatcher&) = delete;
  TALWaveDispatcher& operator=(const TALWaveDispatcher&) = delete;
  ~TALWaveDispatcher();

  // Queues one callback and returns its sequence number (1, 2, …). A null callback is
  // numbered but not called.
  uint64_t Post(TWaveCallback callback, TWaveHandle device, uint32_t message, uintptr_t instance,
                uintptr_t param1, uintptr_t param2);
  // Sequence number of the last queued callback (0 before the first).
  uint64_t LastPosted() const;
  // Returns once every callback numbered up to sequence has been made.
  void WaitDelivered(uint64_t sequence);
  bool OnDispatchThread() const { return std::this_thread::get_id() == threadId_; }

 private:
  struct TItem {
    uint64_t sequence;
    TWaveCallback callback;
    TWaveHandle device;
    uint32_t message;
    uintptr_t instance;
    uintptr_t param1;
    uintptr_t param2;
  };

  void Run();
  // Makes the first queued callback; called with lock held, returns with it held. `outer` for
  // the thread's own loop, false for one made inline by WaitDelivered.
  void Deliver(std::unique_lock<std::mutex>& lock, bool outer);

  mutable std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable delivered_;
  TRingQueue<TItem> queue_;  // guarded by mutex_
  uint64_t lastPosted_ = 0;  // guarded by mutex_
  uint64_t lastDone_ = 0;    // guarded by mutex_: highest callback that has returned
  // guarded by mutex_: the callback the loop is in (0: none). Callbacks made inline by it return
  // before it does, so none from this one on counts as made until it returns.
  uint64_t running_ = 0;
  bool stopping_ = false;  // guarded by mutex_
  std::thread thread_;
  std::thread::id threadId_;
};

}  // namespace tardivox
