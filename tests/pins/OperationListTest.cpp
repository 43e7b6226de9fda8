#include "pins/OperationList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
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
