#include "audio/WaveThread.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>

namespace tardivox {

namespace {

// Real-time scheduling where it is granted (a privilege or an RLIMIT_RTPRIO allowance): the
// wave threads do short, bounded work per event and must not wait behind builds or painting.
// The priority stays below the sound server's usual one, so the server is never held up by us;
// children do not inherit it. Otherwise the highest priority an ordinary thread may take, a
// few steps above normal. A refusal only costs timing margin and is not reported.
constexpr int kRealtimePriority = 3;

std::atomic<TRealtimeRequest> gRealtimeRequest{nullptr};

}  // namespace

void SetRealtimeRequest(TRealtimeRequest request) {
  gRealtimeRequest.store(request, std::memory_order_release);
}

bool RequestRealtime(int64_t thread, int priority) {
  const TRealtimeRequest request = gRealtimeRequest.load(std::memory_order_acquire);
  if (!request) return false;
  request(thread, priority);
  return true;
}

void RaiseThreadPriority() {
  const auto tid = static_cast<pid_t>(syscall(SYS_gettid));
  sched_param param{};
  param.sched_priority = std::min(kRealtimePriority, sched_get_priority_max(SCHED_FIFO));
  if (sched_setscheduler(tid, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0) return;
  const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (current > -5) (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -5);
  RequestRealtime(tid, param.sched_priority);
}

TALWaveThread::TALWaveThread(THandler handler) : handler_(std::move(handler)) {
  std::lock_guard lock(queueLock_);
  thread_ = std::thread([this] { Run(); });
  threadId_ = thread_.get_id();
}

TALWaveThread::~TALWaveThread() {
  Stop();
  ClearQueue();
}

void TALWaveThread::Wake() {
  if (wakeCount_ >= kMaxWakeCount) return;
  ++wakeCount_;
  wake_.release();
}

void TALWaveThread::Post(uint32_t message, TWaveHandle device, uintptr_t parameter) {
  std::lock_guard lock(queueLock_);
  if (terminated_.load() || ended_) return;
  queue_.push_back({message, device, parameter});
  Wake();
}

void TALWaveThread::ClearQueue() {
  std::lock_guard lock(queueLock_);
  queue_.clear();
}

size_t TALWaveThread::QueuedCount() const {
  std::lock_guard lock(queueLock_);
  return queue_.size();
}

void TALWaveThread::Stop() {
  {
    std::lock_guard lock(queueLock_);
    // A refused count (all 2000 pending) does no harm: the loop is then not blocked and sees
    // the flag after its next wake-up.
    if (!terminated_.exchange(true)) Wake();
  }
  if (std::this_thread::get_id() == threadId_) return;
  if (thread_.joinable()) thread_.join();
}

void TALWaveThread::Run() {
  {
    // Wait until the constructor has published threadId_.
    std::lock_guard lock(queueLock_);
  }
  RaiseThreadPriority();
  for (;;) {
    bool wait;
    {
      std::lock_guard lock(queueLock_);
      if (terminated_.load()) break;
      // Events queued while the wake count was full have no count: take them without waiting.
      wait = queue_.size() <= static_cast<size_t>(wakeCount_);
    }
    if (wait) wake_.acquire();
    TEvent event{};
    bool taken = false;
    {
      std::lock_guard lock(queueLock_);
      if (wait) --wakeCount_;
      if (terminated_.load()) break;
      if (!queue_.empty()) {
        event = queue_.front();
        queue_.pop_front();
        taken = true;
      }
    }
    if (!taken) continue;
    try {
      handler_(event.message, event.device, event.parameter);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tardivox: wave thread stopped: %s\n", e.what());
      break;
    } catch (...) {
      std::fprintf(stderr, "tardivox: wave thread stopped by an unknown error\n");
      break;
    }
  }
  std::lock_guard lock(queueLock_);
  ended_ = true;
  queue_.clear();
}

void TALWaveThread::DeviceCallback(TWaveHandle device, uint32_t message, uintptr_t instance,
                                   uintptr_t param1, uintptr_t) {
  if (instance == 0 || message == kWomClose || message == kWimClose) return;
  reinterpret_cast<TALWaveThread*>(instance)->Post(message, device, param1);
}

}  // namespace tardivox
