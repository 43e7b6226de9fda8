#include "pins/NotifyThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tardivox {

namespace {

// The closest Linux has to a "highest normal" thread priority is a slightly lower nice value
// for this thread alone; unprivileged processes are usually refused, which is fine.
void RaiseThreadPriority() {
  const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
  (void)::setpriority(PRIO_PROCESS, tid, -2);
}

}  // namespace

TSLNotifyThread::TSLNotifyThread(Callback callback)
    : callback_(std::move(callback)), thread_([this] { Execute(); }) {}

TSLNotifyThread::~TSLNotifyThread() {
  Stop();
}

void TSLNotifyThread::Signal() {
  wake_.Set();
}

void TSLNotifyThread::Stop() {
  terminated_.store(true, std::memory_order_release);
  wake_.Set();
  // The worker only asks itself to end: it must not wait for the guard, which an owner that is
  // stopping holds while it waits for this very worker.
  if (workerId_.load(std::memory_order_acquire) == std::this_thread::get_id()) return;
  std::lock_guard<std::mutex> lock(stopGuard_);
  if (thread_.joinable()) thread_.join();
}

std::exception_ptr TSLNotifyThread::FatalException() const {
  std::lock_guard<std::mutex> lock(errorGuard_);
  return fatal_;
}

void TSLNotifyThread::Execute() {
  workerId_.store(std::this_thread::get_id(), std::memory_order_release);
  RaiseThreadPriority();
  try {
    while (!Terminated()) {
      wake_.Wait();
      if (Terminated()) break;
      if (callback_) callback_(*this);
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(errorGuard_);
    fatal_ = std::current_exception();
  }
  running_.store(false, std::memory_order_release);
}

}  // namespace tardivox
