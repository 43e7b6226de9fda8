#include "pins/Events.h"

namespace tardivox {

void TManualResetEvent::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  cv_.notify_all();
}

void TManualResetEvent::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

void TManualResetEvent::Wait() {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [this] { return signalled_; });
}

bool TManualResetEvent::IsSet() const {
  std::lock_guard lock(mutex_);
  return signalled_;
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
