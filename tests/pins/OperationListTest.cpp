#include "pins/OperationList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/WaitFor.h"

namespace tardivox {
namespace {

using testing::StaysFalse;
using testing::WaitUntil;

// Pops everything and names each operation by the label it was created with.
std::vector<std::string> Drain(TSLOperationList& list,
                               const std::map<IOWNotifyOperation*, std::string>& labels) {
  std::vector<std::string> order;
  while (TRef<IOWNotifyOperation> op = list.PopFront()) order.push_back(labels.at(op.get()));
  return order;
}

class OperationListOrder : public ::testing::Test {
 protected:
  TRef<IOWNotifyOperation> Make(const std::string& label) {
    TRef<IOWNotifyOperation> op(new TOWNotifyOperation());
    labels_[op.get()] = label;
    kept_.push_back(op);
    return op;
  }
  std::vector<std::string> Drain() { return tardivox::Drain(list_, labels_); }

  TSLOperationList list_;
  std::map<IOWNotifyOperation*, std::string> labels_;
  std::vector<TRef<IOWNotifyOperation>> kept_;
};

TEST_F(OperationListOrder, AppendKeepsArrivalOrderAndCounts) {
  EXPECT_EQ(list_.Append(Make("a")), 1u);
  EXPECT_EQ(list_.Append(Make("b")), 2u);
  EXPECT_EQ(list_.Append(nullptr), 2u);
  EXPECT_EQ(Drain(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(list_.PopFront(), nullptr);
}

TEST_F(OperationListOrder, AppendKeepingOnlyLastLeavesTheNewOne) {
  list_.Append(Make("a"));
  list_.Append(Make("b"));
  EXPECT_EQ(list_.Append(Make("x"), true), 1u);
  EXPECT_EQ(Drain(), (std::vector<std::string>{"x"}));
}

TEST_F(OperationListOrder, PushFrontGoesBeforeEverything) {
  list_.Append(Make("a"));
  list_.Append(Make("b"));
  EXPECT_EQ(list_.PushFront(Make("c")), 3u);
  EXPECT_EQ(Drain(), (std::vector<std::string>{"c", "a", "b"}));
}

// The ring wraps and grows while operations come and go at both ends: a random mix of the
// four changes, checked against a plain double-ended queue after every step.
TEST_F(OperationListOrder, KeepsOrderWhileWrappingAndGrowing) {
  std::mt19937 random(7);
  std::deque<std::string> model;
  for (int step = 0; step < 5000; ++step) {
    const std::string label = std::to_string(step);
    const unsigned choice = random() % 16;
    if (choice < 7) {
      EXPECT_EQ(list_.Append(Make(label)), model.size() + 1);
      model.push_back(label);
    } else if (choice < 9) {
      EXPECT_EQ(list_.PushFront(Make(label)), model.size() + 1);
      model.push_front(label);
    } else if (choice < 15) {
      TRef<IOWNotifyOperation> op = list_.PopFront();
      if (model.empty()) {
        EXPECT_EQ(op, nullptr);
      } else {
        ASSERT_NE(op, nullptr);
        EXPECT_EQ(labels_.at(op.get()), model.front()) << "step " << step;
        model.pop_front();
      }
    } else {
      EXPECT_EQ(list_.Append(Make(label), true), 1u);
      model.assign(1, label);
    }
    ASSERT_EQ(list_.Count(), model.size());
  }
  EXPECT_EQ(Drain(), std::vector<std::string>(model.begin(), model.end()));
  list_.Clear();
  EXPECT_EQ(list_.Count(), 0u);
  EXPECT_EQ(list_.Append(Make("after")), 1u) << "a cleared list is usable again";
}

TEST(OperationList, HoldsItsOperationsUntilPopped) {
  TSLOperationList list;
  TRef<IOWNotifyOperation> op(new TOWNotifyOperation());
  list.Append(op);
  EXPECT_EQ(op->RefCount(), 2);
  list.PopFront();
  EXPECT_EQ(op->RefCount(), 1);
  list.Append(op);
  list.Clear();
  EXPECT_EQ(op->RefCount(), 1);
}

// With a pin as its lock, the list waits while another thread holds that pin's group (a
// notification passing through the component) and goes on once it is released.
TEST(OperationList, WaitsForTheLockPinsGroup) {
  TOWObject pin;
  TSLOperationList list(&pin);
  EXPECT_EQ(&list.LockObject(), &pin);
  list.Append(TRef<IOWNotifyOperation>(new TOWNotifyOperation()));

  std::atomic<bool> holding{false}, release{false}, popped{false};
  std::thread holder([&] {
    TOWWriteLockSection section(pin);
    holding = true;
    ASSERT_TRUE(WaitUntil([&] { return release.load(); })) << "the test never released the pin";
  });
  ASSERT_TRUE(WaitUntil([&] { return holding.load(); })) << "holder never took the pin";
  std::thread popper([&] { popped = list.PopFront() != nullptr; });
  EXPECT_TRUE(StaysFalse([&] { return popped.load(); })) << "PopFront did not wait for the group";
  release = true;
  EXPECT_TRUE(WaitUntil([&] { return popped.load(); })) << "PopFront never got the lock";
  holder.join();
  popper.join();
}

}  // namespace
}  // namespace tardivox
