#include "pins/BufferQueue.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <thread>
#include <vector>

#include "buffers/IntegerBuffer.h"
#include "core/Exceptions.h"

namespace tardivox {
namespace {

// A buffer holding first, first + 1, … (count items).
TRef<ISLIntegerBuffer> Sequence(int32_t first, uint32_t count) {
  TRef<ISLIntegerBuffer> buffer(new TSLIntegerBuffer(count));
  int32_t* data = buffer->WriteData();
  std::iota(data, data + count, first);
  return buffer;
}

std::vector<int32_t> Items(ISLIntegerBuffer& buffer) {
  const int32_t* data = buffer.ReadData();
  return {data, data + buffer.Count()};
}

std::vector<int32_t> Range(int32_t first, int32_t count) {
  std::vector<int32_t> values(count);
  std::iota(values.begin(), values.end(), first);
  return values;
}

struct ReadStep {
  uint32_t destination;
  bool accepted;
  int32_t firstValue;  // of the items read, when accepted
  uint64_t available;
  uint32_t readOffset;
  size_t buffers;
};

struct QueueCase {
  const char* name;
  std::vector<uint32_t> pushed;  // consecutive values across buffers
  std::vector<ReadStep> reads;
};

class BufferQueueReads : public ::testing::TestWithParam<QueueCase> {};

TEST_P(BufferQueueReads, HandOutExactlyWhatIsAskedAcrossBuffers) {
  const QueueCase& c = GetParam();
  TSLBufferQueue queue;
  int32_t next = 0;
  for (uint32_t count : c.pushed) {
    queue.Push(Sequence(next, count));
    next += static_cast<int32_t>(count);
  }
  for (size_t i = 0; i < c.reads.size(); ++i) {
    const ReadStep& step = c.reads[i];
    TRef<ISLIntegerBuffer> destination(new TSLIntegerBuffer(step.destination));
    destination->Fill(-1);
    SCOPED_TRACE(i);
    EXPECT_EQ(queue.Read(destination.get()), step.accepted);
    if (step.accepted) {
      EXPECT_EQ(Items(*destination),
                Range(step.firstValue, static_cast<int32_t>(step.destination)));
    } else {
      EXPECT_EQ(Items(*destination), std::vector<int32_t>(step.destination, -1));
    }
    EXPECT_EQ(queue.Available(), step.available);
    EXPECT_EQ(queue.ReadOffset(), step.readOffset);
    EXPECT_EQ(queue.BufferCount(), step.buffers);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BufferQueueReads,
    ::testing::Values(
        QueueCase{
            "HalvesOfOneBuffer", {512}, {{256, true, 0, 256, 256, 1}, {256, true, 256, 0, 0, 0}}},
        QueueCase{
            "AcrossTwoBuffers", {100, 100}, {{150, true, 0, 50, 50, 1}, {50, true, 150, 0, 0, 0}}},
        QueueCase{"TooFewConsumesNothing",
                  {100, 150},
                  {{300, false, 0, 250, 0, 2}, {250, true, 0, 0, 0, 0}}},
        QueueCase{
            "ManySmallIntoOne", {3, 1, 4, 1, 5}, {{13, true, 0, 1, 4, 1}, {1, true, 13, 0, 0, 0}}},
        QueueCase{"EmptyDestination", {7}, {{0, true, 0, 7, 0, 1}}},
        QueueCase{"NothingQueued", {}, {{1, false, 0, 0, 0, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A queued buffer whose copies raise while `failing` is set (clones share the flag).
class TFailingBuffer : public TSLIntegerBuffer {
 public:
  TFailingBuffer(const TSLIntegerBuffer& source, const bool& failing)
      : TSLIntegerBuffer(source), failing_(failing) {}
  void CopyTo(uint32_t selfOffset, ISLDataBuffer* destination, uint32_t destinationOffset,
              uint32_t count) override {
    if (failing_) throw Exception("copy failed");
    TSLIntegerBuffer::CopyTo(selfOffset, destination, destinationOffset, count);
  }
  TRef<ISLDataBuffer> Clone() override {
    return TRef<ISLDataBuffer>(new TFailingBuffer(*this, failing_));
  }

 private:
  const bool& failing_;
};

TEST(BufferQueue, AReadWhoseCopyFailsLeavesTheQueueAsItWas) {
  bool failing = false;
  TSLBufferQueue queue;
  queue.Push(Sequence(0, 6));
  TRef<ISLIntegerBuffer> tail = Sequence(6, 6);
  queue.Push(TRef<ISLDataBuffer>(
      new TFailingBuffer(static_cast<TSLIntegerBuffer&>(*tail->Implementation()), failing)));
  TRef<ISLIntegerBuffer> two(new TSLIntegerBuffer(2));
  ASSERT_TRUE(queue.Read(two.get()));  // offset 2 into the first buffer

  // The first buffer is used up before the failing one is reached.
  failing = true;
  TRef<ISLIntegerBuffer> eight(new TSLIntegerBuffer(8));
  EXPECT_THROW(queue.Read(eight.get()), Exception);
  EXPECT_EQ(queue.Available(), 10u);
  EXPECT_EQ(queue.ReadOffset(), 2u);
  EXPECT_EQ(queue.BufferCount(), 2u);

  failing = false;
  ASSERT_TRUE(queue.Read(eight.get()));
  EXPECT_EQ(Items(*eight), Range(2, 8));
  EXPECT_EQ(queue.Available(), 2u);
}

TEST(BufferQueue, IgnoresNullAndEmptyBuffers) {
  TSLBufferQueue queue;
  queue.Push(nullptr);
  queue.Push(Sequence(0, 0));
  EXPECT_EQ(queue.BufferCount(), 0u);
  EXPECT_FALSE(queue.Read(nullptr));
}

TEST(BufferQueue, ClearDropsEverything) {
  TSLBufferQueue queue;
  queue.Push(Sequence(0, 10));
  TRef<ISLIntegerBuffer> four(new TSLIntegerBuffer(4));
  ASSERT_TRUE(queue.Read(four.get()));
  queue.Clear();
  EXPECT_EQ(queue.Available(), 0u);
  EXPECT_EQ(queue.ReadOffset(), 0u);
  EXPECT_FALSE(queue.Read(four.get()));
  queue.Push(Sequence(50, 4));
  ASSERT_TRUE(queue.Read(four.get()));
  EXPECT_EQ(Items(*four), Range(50, 4));
}

TEST(BufferQueue, ItemsStayAsPushedWhenTheProducerWritesOrResizesItsBuffer) {
  TSLBufferQueue queue;
  TRef<ISLIntegerBuffer> produced = Sequence(0, 8);
  queue.Push(produced);
  produced->ModifyData()[0] = 999;
  produced->SetCount(2, true);
  TRef<ISLIntegerBuffer> destination(new TSLIntegerBuffer(8));
  ASSERT_TRUE(queue.Read(destination.get()));
  EXPECT_EQ(Items(*destination), Range(0, 8));
}

// A producer pushes a counting sequence in random-size buffers while a consumer reads
// fixed-size blocks: the consumer sees the sequence without gap, repeat or reordering.
TEST(BufferQueue, ProducerAndConsumerOnTwoThreads) {
  constexpr int32_t kTotal = 400'000;
  constexpr uint32_t kBlock = 1024;
  TSLBufferQueue queue;
  std::thread producer([&queue] {
    std::mt19937 random(7);
    int32_t next = 0;
    while (next < kTotal) {
      const auto count =
          std::min<int32_t>(kTotal - next, 1 + static_cast<int32_t>(random() % 3000));
      queue.Push(Sequence(next, static_cast<uint32_t>(count)));
      next += count;
    }
  });
  int32_t expected = 0;
  TRef<ISLIntegerBuffer> block(new TSLIntegerBuffer(kBlock));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (expected + static_cast<int32_t>(kBlock) <= kTotal) {
    if (!queue.Read(block.get())) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "consumer starved at " << expected;
      std::this_thread::yield();
      continue;
    }
    ASSERT_EQ(Items(*block), Range(expected, kBlock));
    expected += kBlock;
  }
  producer.join();
  EXPECT_EQ(queue.Available(), static_cast<uint64_t>(kTotal - expected));
}

}  // namespace
}  // namespace tardivox
