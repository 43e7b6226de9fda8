#pragma once
// The per-device event thread of a capture or playback component. The wave service's callback
// only posts each device event here (DeviceCallback does exactly that); this thread runs the
// component's handler for one event at a time, in the order posted, with real-time scheduling
// (SCHED_FIFO, a low real-time priority, not inherited by children) where the system grants
// it, otherwise at the highest normal priority.
//
// Wake-ups: a counting semaphore of at most 2000 counts, one per posted event. An event posted
// while 2000 counts are pending gets no count of its own; the thread takes such surplus events
// without waiting once it reaches them, so none is left behind when posting stops.
// Stop: events posted after Stop are ignored and events still queued are discarded. A handler
// that throws ends the loop (the error goes to stderr); later posts are ignored as well.
//
// Threads: Post, LockQueue/UnlockQueue, ClearQueue and Stop may be called from any thread; the
// handler runs on this thread only, never with the queue lock held, so it may post or clear
// events itself. Stop from within the handler only asks the loop to end. Destroy the object
// from another thread than its own.
// Locks: the queue lock is re-entrant and guards only the queue and the wake accounting; it
// has rank wave queue — see docs/ARCHITECTURE.md.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <semaphore>
#include <thread>

#include "audio/WaveService.h"
#include "core/RingQueue.h"

namespace tardivox {

// Gives the calling thread the wave threads' scheduling: real-time where granted, else the
// highest normal priority. Used by every thread on the audio path (wave threads, the wave
// service's callback and sound-server threads). Refusal is silent; when the system refuses
// real-time scheduling and a request function is installed, the thread is handed to it.
void RaiseThreadPriority();

// Where the system refuses real-time scheduling to the process itself (an ordinary desktop
// user), the desktop's real-time service may still grant it. The program installs a request
// function; RaiseThreadPriority calls it with the refused thread's id and the priority it
// wanted. The function runs on the thread being raised and must return at once (it hands the
// request to another thread). Null removes it; the caller keeps what it installs valid until
// it removes it.
// Thread: any. Locks: none. Real-time: yes (RequestRealtime).
using TRealtimeRequest = void (*)(int64_t thread, int priority);
void SetRealtimeRequest(TRealtimeRequest request);
// Hands `thread` to the installed request function; false when none is installed.
bool RequestRealtime(int64_t thread, int priority);

class TALWaveThread {
 public:
  using THandler = std::function<void(uint32_t message, TWaveHandle device, uintptr_t parameter)>;
  static constexpr int32_t kMaxWakeCount = 2000;

  // Starts the thread.
  explicit TALWaveThread(THandler handler);
  TALWaveThread(const TALWaveThread&) = delete;
  TALWaveThread& operator=(const TALWaveThread&) = delete;
  // Stops the thread if that was not done, then discards what is queued.
  ~TALWaveThread();

  // Queues one event (the parameter of a buffer event is the TWaveHeader*).
  void Post(uint32_t message, TWaveHandle device, uintptr_t parameter);
  void LockQueue() { queueLock_.lock(); }
  void UnlockQueue() { queueLock_.unlock(); }
  // Discards every queued event.
  void ClearQueue();
  // Asks the loop to end, wakes it and waits until the thread has ended.
  void Stop();

  bool Terminated() const { return terminated_.load(); }
  std::thread::id ThreadId() const { return threadId_; }
  size_t QueuedCount() const;

  // A wave service callback for devices opened with a TALWaveThread* as instance value: posts
  // the open and buffer events to that thread. Nothing is posted for instance 0 (a trial open)
  // nor for close events: a component may have destroyed its wave thread before closing.
  static void DeviceCallback(TWaveHandle device, uint32_t message, uintptr_t instance,
                             uintptr_t param1, uintptr_t param2);

 private:
  struct TEvent {
    uint32_t message;
    TWaveHandle device;
    uintptr_t parameter;
  };

  void Run();
  // Adds one wake count unless kMaxWakeCount are pending. Queue lock held.
  void Wake();

  THandler handler_;
  mutable std::recursive_mutex queueLock_;
  TRingQueue<TEvent> queue_;  // guarded by queueLock_
  int32_t wakeCount_ = 0;     // guarded by queueLock_: counts released and not yet taken
  bool ended_ = false;        // guarded by queueLock_: the loop has finished
  std::atomic<bool> terminated_{false};
  std::counting_semaphore<kMaxWakeCount> wake_{0};
  std::thread thread_;
  std::thread::id threadId_;
};

}  // namespace tardivox
