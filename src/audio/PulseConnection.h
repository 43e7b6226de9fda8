#pragma once
// The process's one connection to the sound server (PulseAudio, or PipeWire through its
// PulseAudio service): one threaded main loop and one context, shared by the wave service and
// the recording control, so the program keeps one loop thread, one set of bounded waits and one
// reconnect path.
//
// Ownership: a process-wide object created on first use (Instance()); the main loop's thread
// starts then, the server is contacted only by the first EnsureContext. It is destroyed at
// program end after every user of it (users call Instance() in their own constructors).
//
// Connection: EnsureContext connects (no autospawn: the user's session decides which server
// runs) and waits at most kConnectTimeout for the server; a context that failed (the server went
// away) is dropped and replaced by the next EnsureContext, so a restarted server is picked up by
// whichever user asks first. Each replacement raises Generation(), which tells users that what
// they learnt from the old context (device lists) is stale. The loss of a ready connection is
// said once on stderr.
//
// Server kind: once a context is ready EnsureContext also knows whether the server is
// PipeWire's PulseAudio service (by the name the server gives), which takes what is written with
// more jitter; OnPipeWire() tells it to any thread.
//
// Watching: a ready context is subscribed to the server's device events; DeviceChanges() grows
// when a source or sink appears or leaves, when the server's defaults change and when a new
// context becomes ready. StartConnect() asks for a connection without waiting for it.
//
// Failure: EnsureContext returns null with the server's error code (PA_ERR_TIMEOUT when it did
// not answer in time); nothing here raises.
//
// Thread: any. Locks: the main loop lock (rank: sound server loop — see docs/ARCHITECTURE.md).
// Every function but Instance, Lock and Unlock must be called with it held; PulseAudio runs
// every callback of this loop with it held, so a callback never waits for a component lock.

#include <pulse/pulseaudio.h>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace tardivox {

class TPulseConnection {
 public:
  static constexpr std::chrono::milliseconds kConnectTimeout{5000};
  static constexpr std::chrono::milliseconds kServerInfoTimeout{1000};

  static TPulseConnection& Instance();

  TPulseConnection(const TPulseConnection&) = delete;
  TPulseConnection& operator=(const TPulseConnection&) = delete;

  // Holds the main loop lock for a scope.
  class TLock {
   public:
    explicit TLock(TPulseConnection& connection) : loop_(connection.mainloop_) {
      pa_threaded_mainloop_lock(loop_);
    }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;
    ~TLock() { pa_threaded_mainloop_unlock(loop_); }

   private:
    pa_threaded_mainloop* loop_;
  };

  void Lock() { pa_threaded_mainloop_lock(mainloop_); }
  void Unlock() { pa_threaded_mainloop_unlock(mainloop_); }

  pa_threaded_mainloop* Mainloop() const { return mainloop_; }
  pa_mainloop_api* Api() const { return pa_threaded_mainloop_get_api(mainloop_); }

  // The ready context, connecting or reconnecting first when needed; null with `error` set
  // when the server cannot be reached. The context stays owned by the connection: a caller that
  // keeps it across a wait takes a reference of its own.
  pa_context* EnsureContext(int& error);
  // Without waiting: true when the current context is ready; otherwise replaces a failed one,
  // starts connecting when none is under way, and answers false.
  bool StartConnect();
  // The current context, ready or not; null before the first EnsureContext and after a drop.
  pa_context* Context() const { return context_; }
  // True while the current context is ready.
  bool Ready() const;
  // Counts the contexts made so far; changes whenever the context is replaced or dropped.
  uint64_t Generation() const { return generation_; }
  // Disconnects and forgets the current context (the next EnsureContext connects afresh).
  void DropContext();
  // Grows whenever the server's set of devices may have changed. Any thread, no lock needed.
  uint64_t DeviceChanges() const { return deviceChanges_.load(std::memory_order_acquire); }
  // True when the server last connected to is PipeWire's PulseAudio service (false until a
  // server answered, and for any other server). Any thread, no lock needed.
  bool OnPipeWire() const { return onPipeWire_.load(std::memory_order_acquire); }

  // Wakes every thread waiting in WaitLocked; callbacks call it when an answer arrived.
  void Signal() { pa_threaded_mainloop_signal(mainloop_, 0); }

  // Waits, releasing the main loop lock meanwhile, until done() holds or `timeout` passed.
  // done() is evaluated with the lock held, after every Signal and at least once. True when
  // done() held.
  template <class Done>
  bool WaitLocked(Done done, std::chrono::milliseconds timeout);

 private:
  TPulseConnection();
  ~TPulseConnection();

  static void ContextStateChanged(pa_context* context, void* userdata);
  static void ServerInfo(pa_context* context, const pa_server_info* info, void* userdata);
  static void ServerEvent(pa_context* context, pa_subscription_event_type_t event, uint32_t index,
                          void* userdata);
  // Creates the context and starts connecting (false when that failed at once, with `error`).
  bool Connect(int& error);
  struct TTimeout {
    TPulseConnection* connection;
    bool expired = false;
  };
  // Arms a one-shot timer on the loop that sets timer->expired and signals the waiters.
  pa_time_event* ArmTimeout(std::chrono::milliseconds timeout, TTimeout* timer);

  pa_threaded_mainloop* mainloop_ = nullptr;
  // Guarded by the main loop lock.
  pa_context* context_ = nullptr;
  bool contextWasReady_ = false;
  bool serverKnown_ = false;  // the ready context's server info has been answered
  uint64_t generation_ = 0;
  std::atomic<uint64_t> deviceChanges_{0};
  std::atomic<bool> onPipeWire_{false};
};

template <class Done>
bool TPulseConnection::WaitLocked(Done done, std::chrono::milliseconds timeout) {
  if (done()) return true;
  TTimeout timer{this};
  pa_time_event* event = ArmTimeout(timeout, &timer);
  bool ok = false;
  while (!(ok = done()) && !timer.expired) pa_threaded_mainloop_wait(mainloop_);
  Api()->time_free(event);
  return ok;
}

}  // namespace tardivox
