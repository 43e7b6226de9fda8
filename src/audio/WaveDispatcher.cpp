#include "audio/WaveDispatcher.h"

#include "audio/WaveThread.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace tardivox {

TALWaveDispatcher::TALWaveDispatcher() {
  std::unique_lock lock(mutex_);
  thread_ = std::thread([this] {
    RaiseThreadPriority();
    Run();
  });
  threadId_ = thread_.get_id();
}

TALWaveDispatcher::~TALWaveDispatcher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  thread_.join();
}

uint64_t TALWaveDispatcher::Post(TWaveCallback callback, TWaveHandle device, uint32_t message,
                                 uintptr_t instance, uintptr_t param1, uintptr_t param2) {
  uint64_t sequence;
  {
    std::lock_guard lock(mutex_);
    sequence = ++lastPosted_;
    queue_.push_back({sequence, callback, device, message, instance, param1, param2});
  }
  work_.notify_one();
  return sequence;
}

uint64_t TALWaveDispatcher::LastPosted() const {
  std::lock_guard lock(mutex_);
  return lastPosted_;
}

void TALWaveDispatcher::WaitDelivered(uint64_t sequence) {
  std::unique_lock lock(mutex_);
  if (OnDispatchThread()) {
    // Waiting here would wait for the callback that is running; make the rest ourselves, which
    // keeps their order.
    while (!queue_.empty() && queue_.front().sequence <= sequence) Deliver(lock, false);
    return;
  }
  delivered_.wait(lock,
                  [&] { return lastDone_ >= sequence && (running_ == 0 || sequence < running_); });
}

void TALWaveDispatcher::Deliver(std::unique_lock<std::mutex>& lock, bool outer) {
  const TItem item = queue_.front();
  queue_.pop_front();
  if (outer) running_ = item.sequence;
  lock.unlock();
  if (item.callback) {
    try {
      item.callback(item.device, item.message, item.instance, item.param1, item.param2);
    } catch (const std::exception& e) {
      // The callback is a plain function; an error escaping it must not end audio for every
      // other device.
      std::fprintf(stderr, "tardivox: wave callback failed: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "tardivox: wave callback failed\n");
    }
  }
  lock.lock();
  if (outer) running_ = 0;
  lastDone_ = std::max(lastDone_, item.sequence);
  delivered_.notify_all();
}

void TALWaveDispatcher::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) break;  // stopping and nothing left to make
    Deliver(lock, true);
  }
}

}  // namespace tardivox
