#include "pins/NotifyThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "support/WaitFor.h"

namespace tardivox {
namespace {

using testing::StaysFalse;
using testing::WaitUntil;

TEST(NotifyThread, OneSignalOneCall) {
  std::atomic<int> calls{0};
  TSLNotifyThread thread([&](TSLNotifyThread&) { ++calls; });
  EXPECT_TRUE(StaysFalse([&] { return calls.load() > 0; })) << "called without a signal";
  thread.Signal();
  ASSERT_TRUE(WaitUntil([&] { return calls.load() == 1; })) << "no call after one signal";
  EXPECT_TRUE(StaysFalse([&] { return calls.load() > 1; }));
}

// Signals that arrive while the callback is busy make it run exactly once more.
TEST(NotifyThread, ThreeSignalsWhileBusyGiveOneMoreCall) {
  std::atomic<int> calls{0};
  std::atomic<bool> busy{false}, release{false};
  TSLNotifyThread thread([&](TSLNotifyThread&) {
    if (++calls == 1) {
      busy = true;
      (void)WaitUntil([&] { return release.load(); });
    }
  });
  thread.Signal();
  ASSERT_TRUE(WaitUntil([&] { return busy.load(); })) << "first call never started";
  thread.Signal();
  thread.Signal();
  thread.Signal();
  release = true;
  ASSERT_TRUE(WaitUntil([&] { return calls.load() == 2; })) << "no call after the busy one";
  EXPECT_TRUE(StaysFalse([&] { return calls.load() > 2; })) << "one call per signal";
}

TEST(NotifyThread, StopEndsAnIdleWorkerWithoutACall) {
  std::atomic<int> calls{0};
  TSLNotifyThread thread([&](TSLNotifyThread&) { ++calls; });
  thread.Stop();
  EXPECT_TRUE(thread.Terminated());
  EXPECT_FALSE(thread.Running());
  thread.Signal();  // harmless after Stop
  thread.Stop();    // and so is a second Stop
  EXPECT_EQ(calls.load(), 0);
}

TEST(NotifyThread, StopWaitsForTheCallbackInProgress) {
  std::atomic<bool> inside{false}, finished{false};
  TSLNotifyThread thread([&](TSLNotifyThread& self) {
    inside = true;
    (void)WaitUntil([&] { return self.Terminated(); });
    finished = true;
  });
  thread.Signal();
  ASSERT_TRUE(WaitUntil([&] { return inside.load(); }));
  thread.Stop();
  EXPECT_TRUE(finished.load());
}

TEST(NotifyThread, AnErrorInTheCallbackEndsTheLoopAndIsKept) {
  std::atomic<int> calls{0};
  TSLNotifyThread thread([&](TSLNotifyThread&) {
    ++calls;
    throw std::runtime_error("device gone");
  });
  thread.Signal();
  ASSERT_TRUE(WaitUntil([&] { return !thread.Running(); })) << "loop did not end";
  ASSERT_TRUE(thread.FatalException());
  EXPECT_THROW(std::rethrow_exception(thread.FatalException()), std::runtime_error);
  thread.Signal();
  EXPECT_TRUE(StaysFalse([&] { return calls.load() > 1; }));
}

TEST(NotifyThread, StopFromTheCallbackEndsTheLoop) {
  std::atomic<int> calls{0};
  TSLNotifyThread thread([&](TSLNotifyThread& self) {
    ++calls;
    self.Stop();
  });
  thread.Signal();
  ASSERT_TRUE(WaitUntil([&] { return !thread.Running(); })) << "loop did not end";
  thread.Signal();
  EXPECT_EQ(calls.load(), 1);
}

// The owner stops the worker while the callback, running, stops it too: the callback's Stop
// must not wait for the owner's, which is waiting for the callback to end.
TEST(NotifyThread, StopFromTheCallbackWhileTheOwnerStopsDoesNotDeadlock) {
  std::atomic<bool> inCallback{false};
  std::atomic<bool> callbackStopped{false};
  TSLNotifyThread thread([&](TSLNotifyThread& self) {
    inCallback = true;
    // The owner's Stop marks the thread terminated only while it holds its guard.
    if (!WaitUntil([&] { return self.Terminated(); })) return;
    self.Stop();
    callbackStopped = true;
  });
  thread.Signal();
  ASSERT_TRUE(WaitUntil([&] { return inCallback.load(); }));
  std::atomic<bool> ownerStopped{false};
  std::thread owner([&] {
    thread.Stop();
    ownerStopped = true;
  });
  const bool ended = WaitUntil([&] { return ownerStopped.load(); });
  if (!ended) {
    ADD_FAILURE() << "Stop from the callback deadlocked against the owner's Stop";
    std::abort();  // both threads are stuck for good; nothing else can end the test
  }
  owner.join();
  EXPECT_TRUE(callbackStopped.load());
  EXPECT_FALSE(thread.Running());
}

}  // namespace
}  // namespace tardivox
