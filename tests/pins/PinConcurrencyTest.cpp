// Buffers flow on one thread while another thread connects and disconnects a sink and changes a
// component's property: nothing deadlocks, no property change overlaps a delivery, and every
// sink receives every buffer whose whole delivery it was connected for.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "PinTestSupport.h"
#include "core/Exceptions.h"
#include "locks/LockObject.h"
#include "locks/MultiReadLock.h"
#include "pins/PinList.h"
#include "support/WaitFor.h"

namespace tardivox {
namespace {

using testing::RealBuffer;
using testing::TAudioSource;
using testing::WaitUntil;

// At least kBuffers buffers, and on until the other thread made kRounds connections (at most
// kMaxBuffers buffers).
constexpr int kBuffers = 1500;
constexpr int kRounds = 20;
constexpr int kMaxBuffers = 100000;

int ValueOf(IOWNotifyOperation& op) {
  auto* supplied = OperationAs<TOWSuppliedBufferOperation>(op);
  auto* real = dynamic_cast<ISLRealBuffer*>(supplied->Buffer().get());
  return static_cast<int>(real->GetValue(0));
}

// Records the values of the buffers it receives and counts starts and stops. Its handler runs
// under its own group lock, whichever thread delivers.
class TValueSink : public TComponent {
 public:
  TValueSink() : TComponent(nullptr) { lock.AddDependency(&InputPin); }
  TOWObject lock;
  std::vector<int> values;
  int starts = 0;
  int stops = 0;
  TALOWAudioSinkPin InputPin{this,
                             [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
                               if (OperationIs<TOWSuppliedBufferOperation>(op)) {
                                 values.push_back(ValueOf(op));
                               } else if (OperationIs<TOWStartOperation>(op)) {
                                 ++starts;
                               } else if (OperationIs<TOWStopOperation>(op)) {
                                 ++stops;
                               }
                               return false;
                             }};
};

// Passes everything from its input to its output. Its `Gain` setter runs under the write
// section of its lock holder, which shares the pins' group lock.
class TPassThrough : public TComponent {
 public:
  explicit TPassThrough(const TOWBasicPin* watched) : TComponent(nullptr), watched_(watched) {
    OutputPin.FunctionSinkPins().AddPassThrough(&InputPin, true);
    lock.AddDependency(&InputPin);
    connectedAtDelivery.assign(kMaxBuffers, false);
  }

  void SetGain(int gain) {
    TOWWriteLockSection section(lock);
    inSetter.store(true);
    gain_ = gain;
    std::this_thread::yield();  // widen the window in which a delivery would overlap
    inSetter.store(false);
  }

  TOWObject lock;
  std::atomic<bool> inSetter{false};
  std::atomic<int> overlaps{0};
  // Written by the delivering thread only: whether the watched sink was connected to the output
  // while buffer i passed.
  std::vector<bool> connectedAtDelivery;
  TALOWAudioSinkPin InputPin{this,
                             [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
                               if (inSetter.load()) overlaps.fetch_add(1);
                               if (OperationIs<TOWSuppliedBufferOperation>(op)) {
                                 const int value = ValueOf(op) + gain_;
                                 connectedAtDelivery.at(value) = OutputPin.IsConnectedTo(watched_);
                                 return OutputPin.SendBuffer(RealBuffer(value));
                               }
                               return OutputPin.Notify(op);
                             }};
  TALOWAudioSourcePin OutputPin{this, nullptr};

 private:
  const TOWBasicPin* watched_;
  int gain_ = 0;  // guarded by the group lock; always 0, so values pass unchanged
};

[[noreturn]] void Hung(const char* what) {
  std::fprintf(stderr, "FATAL: %s did not finish in time (deadlock?)\n", what);
  std::fflush(stderr);
  std::_Exit(1);
}

TEST(PinConcurrency, BuffersFlowWhileASinkComesAndGoesAndAPropertyChanges) {
  TAudioSource capture;
  TValueSink a, b, x;
  TPassThrough filter(&x.InputPin);
  ASSERT_TRUE(filter.InputPin.ConnectTo(&capture.OutputPin));
  ASSERT_TRUE(a.InputPin.ConnectTo(&filter.OutputPin));
  ASSERT_TRUE(b.InputPin.ConnectTo(&filter.OutputPin));
  {
    TRef<IOWNotifyOperation> start(new TOWStartWaveOperation(WaveFormat::Pcm(2, 16, 44100, 3), 1));
    capture.OutputPin.Notify(*start);
  }

  std::atomic<bool> pushed{false};
  std::atomic<bool> churned{false};
  std::atomic<int> connects{0};
  std::atomic<int> disconnects{0};
  std::atomic<int> sent{0};

  std::thread pusher([&] {
    for (int i = 0; i < kMaxBuffers && (i < kBuffers || connects.load() < kRounds); ++i) {
      // As a capture thread does: the whole callback under a global read section.
      TOWGlobalReadLockSection global;
      capture.OutputPin.SendBuffer(RealBuffer(i));
      sent.store(i + 1);
    }
    pushed.store(true);
  });
  std::thread churner([&] {
    int round = 0;
    while (!pushed.load()) {
      if (x.InputPin.ConnectTo(&filter.OutputPin)) connects.fetch_add(1);
      filter.SetGain(0);
      std::this_thread::yield();
      x.InputPin.Disconnect();
      disconnects.fetch_add(1);
      if (++round % 3 == 0) filter.SetGain(0);
    }
    churned.store(true);
  });

  if (!WaitUntil([&] { return pushed.load() && churned.load(); }, std::chrono::seconds(120))) {
    Hung("the pushing and churning threads");
  }
  pusher.join();
  churner.join();

  const int total = sent.load();
  std::vector<int> all(total);
  for (int i = 0; i < total; ++i) all[i] = i;
  EXPECT_EQ(a.values, all);
  EXPECT_EQ(b.values, all);
  std::vector<int> expected;
  for (int i = 0; i < total; ++i) {
    if (filter.connectedAtDelivery[i]) expected.push_back(i);
  }
  EXPECT_EQ(x.values, expected);
  EXPECT_GE(connects.load(), kRounds) << "the threads hardly overlapped";
  EXPECT_FALSE(expected.empty()) << "the third sink never received a buffer";
  // Every connection delivered the remembered start, every disconnection a stop.
  EXPECT_EQ(x.starts, connects.load());
  EXPECT_EQ(x.stops, disconnects.load());
  EXPECT_EQ(filter.overlaps.load(), 0) << "a property change overlapped a delivery";
  EXPECT_EQ(GlobalLock().Sentinel(), TOWMultiReadExclusiveWriteSynchronizer::kFree);
}

// A delivery walks a component's pin list inside group locks: with placeholders left in the
// list, Count and Items must neither drop them nor wait for the global write lock (here held
// off by a reader on another thread).
TEST(PinListConcurrency, CountAndItemsNeverWaitForTheGlobalWriteLock) {
  TComponent owner(nullptr);
  TOWPinList list(&owner, true);
  list.EnsureItem(2);  // three placeholders
  auto* pin = new TSLOWRealSourcePin(&owner, nullptr);
  list.Add(pin);  // takes the place of the first
  std::atomic<bool> holding{false};
  std::atomic<bool> release{false};
  std::thread reader([&] {
    TOWGlobalReadLockSection section;
    holding = true;
    WaitUntil([&] { return release.load(); });
  });
  ASSERT_TRUE(WaitUntil([&] { return holding.load(); }));
  std::atomic<bool> walked{false};
  int count = -1;
  TOWBasicPin* first = nullptr;
  std::thread walker([&] {
    count = list.Count();
    first = list.Items(0);
    walked = true;
  });
  const bool done = WaitUntil([&] { return walked.load(); }, std::chrono::seconds(5));
  release = true;
  reader.join();
  walker.join();
  EXPECT_TRUE(done) << "Count/Items waited for the global write lock";
  EXPECT_EQ(count, 1);
  EXPECT_EQ(first, pin);
  EXPECT_EQ(list.PlaceholderCount(), 2) << "placeholders are dropped only by the owner";
  EXPECT_THROW(list.Items(1), ERangeError);
  list.DropPlaceholders();
  EXPECT_EQ(list.RawCount(), 1);
}

}  // namespace
}  // namespace tardivox
