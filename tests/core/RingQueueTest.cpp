#include "core/RingQueue.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tardivox {
namespace {

TEST(RingQueue, IteratesFrontToBackAcrossTheWrap) {
  TRingQueue<int> queue;
  for (int i = 0; i < 8; ++i) queue.push_back(i);
  for (int i = 0; i < 5; ++i) queue.pop_front();
  for (int i = 8; i < 12; ++i) queue.push_back(i);  // wraps inside the 8 slots
  queue.push_front(4);
  EXPECT_EQ(queue.capacity(), 8u);
  EXPECT_EQ(std::vector<int>(queue.begin(), queue.end()),
            (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11}));
  queue.push_back(12);  // full: grows, keeping the order
  EXPECT_EQ(queue.capacity(), 16u);
  EXPECT_EQ(std::vector<int>(queue.begin(), queue.end()),
            (std::vector<int>{4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(RingQueue, ABoundedFlowKeepsItsSlots) {
  TRingQueue<int> queue;
  for (int round = 0; round < 10000; ++round) {
    queue.push_back(round);
    if (queue.size() > 5) {
      EXPECT_EQ(queue.take_front(), round - 5);
    }
  }
  EXPECT_EQ(queue.capacity(), 8u) << "a flow of at most 6 never needs more than 8 slots";
  queue.clear();
  EXPECT_TRUE(queue.empty());
  EXPECT_EQ(queue.capacity(), 8u);
  queue.release();
  EXPECT_EQ(queue.capacity(), 0u);
}

TEST(RingQueue, PoppedSlotsDropWhatTheyHeld) {
  auto shared = std::make_shared<int>(1);
  TRingQueue<std::shared_ptr<int>> queue;
  queue.push_back(shared);
  queue.push_back(shared);
  EXPECT_EQ(shared.use_count(), 3);
  queue.pop_front();
  EXPECT_EQ(shared.use_count(), 2) << "the popped slot must not keep its element alive";
  queue.clear();
  EXPECT_EQ(shared.use_count(), 1);
}

}  // namespace
}  // namespace tardivox
