#include "audio/WaveThread.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <algorithm>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/WaitFor.h"

namespace tardivox {
namespace {

using tardivox::testing::StaysFalse;
using tardivox::testing::WaitUntil;

// Records handled events; a gate can hold the handler inside one event.
class THandlerLog {
 public:
  void Handle(uint32_t message, TWaveHandle device, uintptr_t parameter) {
    if (inside_.fetch_add(1) != 0) overlapped_ = true;
    {
      std::unique_lock lock(mutex_);
      events_.push_back({message, device, parameter});
      threads_.push_back(std::this_thread::get_id());
      changed_.notify_all();
      if (message == holdOn_) {
        holding_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !holdOn_; });
        holding_ = false;
      }
    }
    inside_.fetch_sub(1);
  }
  TALWaveThread::THandler Handler() {
    return [this](uint32_t m, TWaveHandle d, uintptr_t p) { Handle(m, d, p); };
  }
  // The handler stops inside the next event with this message until Release.
  void HoldOn(uint32_t message) {
    std::lock_guard lock(mutex_);
    holdOn_ = message;
  }
  bool WaitHolding() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return holding_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    holdOn_ = 0;
    changed_.notify_all();
  }
  size_t Count() const {
    std::lock_guard lock(mutex_);
    return events_.size();
  }
  std::vector<uintptr_t> Parameters() const {
    std::lock_guard lock(mutex_);
    std::vector<uintptr_t> list;
    for (const auto& e : events_) list.push_back(e.parameter);
    return list;
  }
  std::vector<std::thread::id> Threads() const {
    std::lock_guard lock(mutex_);
    return threads_;
  }
  bool Overlapped() const { return overlapped_; }

 private:
  struct TEvent {
    uint32_t message;
    TWaveHandle device;
    uintptr_t parameter;
  };
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TEvent> events_;
  std::vector<std::thread::id> threads_;
  uint32_t holdOn_ = 0;
  bool holding_ = false;
  std::atomic<int> inside_{0};
  std::atomic<bool> overlapped_{false};
};

TEST(WaveThreadTest, EventsFromSeveralThreadsAreHandledOneAtATimeInQueueOrder) {
  THandlerLog log;
  TALWaveThread thread(log.Handler());
  constexpr int kPosters = 4, kEach = 500;
  // Posting under one lock that also numbers the events makes the queue order observable.
  std::mutex order;
  uintptr_t next = 0;
  std::vector<std::thread> posters;
  for (int p = 0; p < kPosters; ++p) {
    posters.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        std::lock_guard lock(order);
        thread.Post(kWimData, 1, next++);
      }
    });
  }
  for (auto& p : posters) p.join();
  ASSERT_TRUE(WaitUntil([&] { return log.Count() == kPosters * kEach; }))
      << "handled " << log.Count();
  const auto parameters = log.Parameters();
  for (size_t i = 0; i < parameters.size(); ++i) ASSERT_EQ(parameters[i], i) << "position " << i;
  for (auto id : log.Threads()) ASSERT_EQ(id, thread.ThreadId());
  EXPECT_NE(thread.ThreadId(), std::this_thread::get_id());
  EXPECT_FALSE(log.Overlapped());
}

TEST(WaveThreadTest, NothingIsHandledAfterStopAndPostsAreIgnored) {
  THandlerLog log;
  TALWaveThread thread(log.Handler());
  log.HoldOn(kWimData);
  thread.Post(kWimData, 1, 0);
  ASSERT_TRUE(log.WaitHolding());
  for (uintptr_t i = 1; i <= 10; ++i) thread.Post(kWomDone, 1, i);
  std::thread stopper([&] { thread.Stop(); });
  ASSERT_TRUE(WaitUntil([&] { return thread.Terminated(); }));
  log.Release();
  stopper.join();
  EXPECT_EQ(log.Count(), 1u) << "the ten queued events were discarded";
  EXPECT_EQ(thread.QueuedCount(), 0u);
  thread.Post(kWomDone, 1, 99);
  EXPECT_EQ(thread.QueuedCount(), 0u);
  EXPECT_EQ(log.Count(), 1u);
}

TEST(WaveThreadTest, ClearQueueDropsThePendingEvents) {
  THandlerLog log;
  TALWaveThread thread(log.Handler());
  log.HoldOn(kWimData);
  thread.Post(kWimData, 1, 0);
  ASSERT_TRUE(log.WaitHolding());
  for (uintptr_t i = 1; i <= 5; ++i) thread.Post(kWomDone, 1, i);
  // The playback clears while holding the queue lock: the lock is re-entrant.
  thread.LockQueue();
  thread.ClearQueue();
  thread.UnlockQueue();
  thread.Post(kWomDone, 1, 6);
  log.Release();
  ASSERT_TRUE(WaitUntil([&] { return log.Count() == 2; }));
  EXPECT_TRUE(StaysFalse([&] { return log.Count() > 2; }));
  EXPECT_EQ(log.Parameters(), (std::vector<uintptr_t>{0, 6}));
}

TEST(WaveThreadTest, EventsBeyondTheWakeLimitAreHandledWithoutFurtherPosts) {
  THandlerLog log;
  TALWaveThread thread(log.Handler());
  log.HoldOn(kWimOpen);
  thread.Post(kWimOpen, 1, 0);
  ASSERT_TRUE(log.WaitHolding());
  constexpr uintptr_t kEvents = TALWaveThread::kMaxWakeCount + 500;
  for (uintptr_t i = 1; i <= kEvents; ++i) thread.Post(kWimData, 1, i);
  log.Release();
  ASSERT_TRUE(WaitUntil([&] { return log.Count() == kEvents + 1; }))
      << "handled " << log.Count() << " of " << kEvents + 1;
  const auto parameters = log.Parameters();
  for (size_t i = 0; i < parameters.size(); ++i) ASSERT_EQ(parameters[i], i);
}

TEST(WaveThreadTest, HandlerErrorEndsTheLoop) {
  std::atomic<int> handled{0};
  TALWaveThread thread([&](uint32_t message, TWaveHandle, uintptr_t) {
    ++handled;
    if (message == kWomDone) throw std::runtime_error("handler failed");
  });
  ::testing::internal::CaptureStderr();
  thread.Post(kWomOpen, 1, 0);
  thread.Post(kWomDone, 1, 0);
  thread.Post(kWomOpen, 1, 0);
  ASSERT_TRUE(WaitUntil([&] { return handled == 2 && thread.QueuedCount() == 0; }));
  thread.Post(kWomOpen, 1, 0);
  EXPECT_TRUE(StaysFalse([&] { return handled > 2; }));
  EXPECT_EQ(thread.QueuedCount(), 0u) << "posts after the loop ended are ignored";
  thread.Stop();
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("handler failed"), std::string::npos);
}

TEST(WaveThreadTest, HandlerMayPostAndStopItsOwnThread) {
  std::mutex mutex;
  std::vector<uintptr_t> seen;
  const auto seenCount = [&] {
    std::lock_guard lock(mutex);
    return seen.size();
  };
  TALWaveThread* self = nullptr;
  std::atomic<bool> stopped{false};
  TALWaveThread thread([&](uint32_t message, TWaveHandle, uintptr_t parameter) {
    {
      std::lock_guard lock(mutex);
      seen.push_back(parameter);
    }
    if (parameter == 1) self->Post(kWimData, 1, 3);
    if (message == kWimClose) {
      self->Stop();
      stopped = true;
    }
  });
  self = &thread;
  thread.Post(kWimData, 1, 1);
  thread.Post(kWimData, 1, 2);
  ASSERT_TRUE(WaitUntil([&] { return seenCount() == 3; }));
  thread.Post(kWimClose, 1, 4);
  ASSERT_TRUE(WaitUntil([&] { return stopped.load(); }));
  thread.Stop();
  // 3 is posted while 1 is handled: before or after 2, as the threads run (a wave thread with
  // real-time scheduling handles 1 before the test posts 2).
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen.front(), 1u);
  EXPECT_EQ(seen.back(), 4u);
  EXPECT_EQ(std::min(seen[1], seen[2]), 2u);
  EXPECT_EQ(std::max(seen[1], seen[2]), 3u);
}

TEST(WaveThreadTest, DeviceCallbackPostsOpenAndBufferEventsOnly) {
  THandlerLog log;
  TALWaveThread thread(log.Handler());
  const auto instance = reinterpret_cast<uintptr_t>(&thread);
  TALWaveThread::DeviceCallback(7, kWomOpen, instance, 0, 0);
  TALWaveThread::DeviceCallback(7, kWomDone, instance, 11, 0);
  TALWaveThread::DeviceCallback(7, kWomDone, 0, 12, 0);  // a trial open's instance
  TALWaveThread::DeviceCallback(7, kWomClose, instance, 0, 0);
  TALWaveThread::DeviceCallback(7, kWimData, instance, 13, 0);
  ASSERT_TRUE(WaitUntil([&] { return log.Count() == 3; }));
  EXPECT_TRUE(StaysFalse([&] { return log.Count() > 3; }));
  EXPECT_EQ(log.Parameters(), (std::vector<uintptr_t>{0, 11, 13}));
}

// Real-time scheduling where the system grants it (the test finds out on a thread of its own),
// else a raised priority where that is granted; refusal is no error.
TEST(WaveThreadTest, RunsWithRealTimeSchedulingWhereGranted) {
  bool granted = false;
  std::thread probe([&] {
    sched_param param{};
    param.sched_priority = 1;
    granted = sched_setscheduler(0, SCHED_FIFO, &param) == 0;
  });
  probe.join();
  std::atomic<int> policy{-1};
  TALWaveThread thread([&](uint32_t, TWaveHandle, uintptr_t) {
    policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
  });
  thread.Post(kWimData, 1, 1);
  ASSERT_TRUE(WaitUntil([&] { return policy.load() != -1; }));
  thread.Stop();
  if (granted)
    EXPECT_EQ(policy.load(), SCHED_FIFO);
  else
    EXPECT_EQ(policy.load(), SCHED_OTHER);
}

}  // namespace
}  // namespace tardivox
