#include "core/Events.h"

namespace tardivox {

void TManualResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_.store(true, std::memory_order_release);
  }
  cv_.notify_all();
}

void TManualResetEvent::Reset() {
  std::lock_guard lock(mutex_);
  signalled_.store(false, std::memory_order_release);
}

void TManualResetEvent::Wait() {
  // The global lock's readers pass this event on every first read: skip the mutex while it
  // is signalled, which is the normal state.
  if (signalled_.load(std::memory_order_acquire)) return;
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [this] { return signalled_.load(std::memory_order_relaxed); });
}

bool TManualResetEvent::IsSet() const {
  return signalled_.load(std::memory_order_acquire);
}

void TAutoResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_one();
}

void TAutoResetEvent::Wait() {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [this] { return signalled_; });
  signalled_ = false;
}

bool TAutoResetEvent::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!cv_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
  signalled_ = false;
  return true;
}

}  // namespace tardivox
