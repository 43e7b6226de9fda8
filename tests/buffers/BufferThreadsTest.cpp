#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "buffers/AudioBuffer.h"
#include "buffers/RealBuffer.h"

namespace tardivox {
namespace {

constexpr uint32_t kFrames = 256;

// A bounded hand-over queue between threads; Pop fails after a time-out instead of hanging.
class HandOver {
 public:
  void Push(TRef<IALAudioBuffer> buffer) {
    {
      std::lock_guard lock(mutex_);
      items_.push_back(std::move(buffer));
    }
    ready_.notify_one();
  }
  bool Pop(TRef<IALAudioBuffer>& out) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, std::chrono::seconds(20), [&] { return !items_.empty(); })) {
      return false;
    }
    out = std::move(items_.front());
    items_.pop_front();
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<TRef<IALAudioBuffer>> items_;
};

bool Holds(IALAudioBuffer* buffer, int32_t value) {
  for (uint32_t f = 0; f < buffer->Count(); ++f) {
    if (buffer->GetSample(f, 0) != value || buffer->GetSample(f, 1) != value) return false;
  }
  return true;
}

TEST(BufferThreads, BlocksAreSharedCopiedAndDroppedAcrossThreads) {
  constexpr int kWorkers = 4;
  constexpr int kRounds = 300;
  TRef<IALAudioBuffer> source(new TALAudioBuffer(44100, 16, 2, kFrames, 3));
  source->Fill(7);
  auto* sourceObject = static_cast<TALAudioBuffer*>(source->Implementation());

  // Each worker shares the source block through its own buffer object, writes through it
  // (copy-on-write) and hands a fresh buffer to the next worker, which checks and drops it.
  std::vector<HandOver> lanes(kWorkers);
  std::atomic<int> failures{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      for (int round = 0; round < kRounds; ++round) {
        TRef<IALAudioBuffer> mine(new TALAudioBuffer(*sourceObject));
        if (!Holds(mine.get(), 7)) ++failures;
        mine->SetSample(0, 0, w);  // a private copy now
        TRef<IALAudioBuffer> clone = RefCast<IALAudioBuffer>(mine->Clone());
        clone->Fill(100 + w);
        if (mine->GetSample(0, 0) != w || mine->GetSample(1, 0) != 7) ++failures;
        lanes[(w + 1) % kWorkers].Push(clone);
        TRef<IALAudioBuffer> received;
        if (!lanes[w].Pop(received)) {
          ++failures;
          return;
        }
        const int32_t from = (w + kWorkers - 1) % kWorkers;
        TRef<IALAudioBuffer> wrapped(new TALAudioBuffer(received.get()));
        received.reset();
        if (!Holds(wrapped.get(), 100 + from)) ++failures;
        TRef<ISLRealBuffer> reals(new TSLRealBuffer(kFrames));
        reals->Fill(round);
        if (reals->Maximum() != round) ++failures;
      }
    });
  }
  for (auto& t : workers) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(Holds(source.get(), 7));
  EXPECT_EQ(sourceObject->Block()->OwnerCount(), 1);
  EXPECT_EQ(sourceObject->Block()->HolderCount(), 1);
}

TEST(BufferThreads, ConcurrentWritersOfOneBlockEachGetTheirOwn) {
  constexpr int kWorkers = 4;
  TRef<ISLRealBuffer> source(new TSLRealBuffer(64));
  source->Fill(1);
  std::vector<TRef<ISLRealBuffer>> sharers;
  for (int w = 0; w < kWorkers; ++w) sharers.push_back(RefCast<ISLRealBuffer>(source->Clone()));
  std::atomic<int> failures{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      ISLRealBuffer* mine = sharers[w].get();
      for (int round = 0; round < 200; ++round) {
        double* items = mine->ModifyData();
        if (items[63] != (round == 0 ? 1 : w)) ++failures;
        for (int i = 0; i < 64; ++i) items[i] = w;
        TRef<ISLDataBuffer> shadow = mine->Clone();  // shared again: the next write copies
      }
    });
  }
  for (auto& t : workers) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(source->GetValue(0), 1.0);
}

}  // namespace
}  // namespace tardivox
