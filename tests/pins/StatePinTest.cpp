#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "PinTestSupport.h"
#include "pins/BoolPins.h"
#include "pins/StreamTypeIds.h"

namespace tardivox {
namespace {

using testing::TAudioSource;
using testing::TRecorder;

// A component with a boolean state pin that records its change handler's calls.
class TSwitch : public TRecorder {
 public:
  explicit TSwitch(std::string name) : TRecorder(std::move(name)) {}
  std::vector<bool> changes;
  TOWBoolStatePin EnablePin{this, [this](TOWPin&, bool value) { changes.push_back(value); }};
};

class TBoolInput : public TRecorder {
 public:
  TBoolInput() : TRecorder("input") {}
  std::vector<bool> changes;
  TOWBoolSinkPin EnablePin{this, [this](TOWPin&, bool value) { changes.push_back(value); }};
};

TEST(StatePins, AnUnlinkedPinOnlyStoresItsValue) {
  TSwitch s("s");
  s.EnablePin.SetValue(true);
  EXPECT_TRUE(s.EnablePin.Value());
  EXPECT_TRUE(s.changes.empty());
  EXPECT_FALSE(s.EnablePin.IsConnected());
}

TEST(StatePins, LinkedBoolPinsCallEachOthersHandlersOncePerChange) {
  TSwitch a("a"), b("b");
  ASSERT_TRUE(a.EnablePin.ConnectTo(&b.EnablePin));
  ASSERT_NE(a.EnablePin.Dispatcher(), nullptr);
  EXPECT_EQ(a.EnablePin.Dispatcher(), b.EnablePin.Dispatcher());
  EXPECT_EQ(a.EnablePin.GetLink(0), &b.EnablePin);
  EXPECT_TRUE(b.EnablePin.IsConnectedTo(&a.EnablePin));

  a.EnablePin.SetValue(true);
  a.EnablePin.SetValue(true);  // unchanged: nothing is sent
  EXPECT_EQ(b.changes, std::vector<bool>{true});
  EXPECT_TRUE(b.EnablePin.Value());
  // The sender is part of its own dispatcher.
  EXPECT_EQ(a.changes, std::vector<bool>{true});

  b.EnablePin.SetValue(false);
  EXPECT_EQ(a.changes, (std::vector<bool>{true, false}));
  EXPECT_FALSE(a.EnablePin.Value());
}

TEST(StatePins, LastReceiverFlagsFollowTheDispatcherOrder) {
  // Records the flags each linked pin is delivered with.
  class TFlagPin : public TOWStatePin, public IOWPinReceiver {
   public:
    TFlagPin() : TOWStatePin(nullptr) {
      AddInterface(kBooleanSingleType);
      types_.Add(kBooleanSingleType,
                 TOWDeliveryFunction(
                     [](void*, TOWBasicPin*, TOWBasicPin* target, const Guid& type,
                        IOWNotifyOperation& op, TOWStateFlags flags) {
                       return target->QueryReceiver(kBooleanSingleType)->Receive(type, op, flags);
                     },
                     nullptr));
    }
    bool Receive(const Guid&, IOWNotifyOperation&, TOWStateFlags flags) override {
      received.push_back(flags);
      return false;
    }
    std::vector<TOWStateFlags> received;

   protected:
    IOWPinReceiver* Receiver() override { return this; }
  };
  TFlagPin p, q, r;
  ASSERT_TRUE(p.ConnectTo(&q));
  ASSERT_TRUE(p.ConnectTo(&r));
  TRef<IOWNotifyOperation> op(new TOWNotifyOperation);
  // Order p, q, r. The sender is last: the second-last gets the flag as well.
  r.Notify(*op);
  EXPECT_EQ(p.received, std::vector<TOWStateFlags>{0});
  EXPECT_EQ(q.received, std::vector<TOWStateFlags>{kStateLastReceiver});
  EXPECT_EQ(r.received, std::vector<TOWStateFlags>{kStateLastReceiver});
  // Otherwise only the last one.
  q.Notify(*op);
  EXPECT_EQ(p.received.back(), 0);
  EXPECT_EQ(q.received.back(), 0);
  EXPECT_EQ(r.received.back(), kStateLastReceiver);
}

TEST(StatePins, UnlinkingTheSecondLastPinRemovesTheDispatcher) {
  TSwitch a("a"), b("b"), c("c");
  ASSERT_TRUE(a.EnablePin.ConnectTo(&b.EnablePin));
  ASSERT_TRUE(c.EnablePin.ConnectTo(&a.EnablePin));
  TOWStateDispatcher* d = a.EnablePin.Dispatcher();
  ASSERT_EQ(d->PinCount(), 3);
  const std::string name = d->Name();
  EXPECT_EQ(TOWStateDispatcher::Find(name), d);

  b.EnablePin.Disconnect();
  EXPECT_EQ(b.EnablePin.Dispatcher(), nullptr);
  EXPECT_EQ(d->PinCount(), 2);
  c.EnablePin.Disconnect();
  EXPECT_EQ(a.EnablePin.Dispatcher(), nullptr);
  EXPECT_EQ(c.EnablePin.Dispatcher(), nullptr);
  EXPECT_EQ(TOWStateDispatcher::Find(name), nullptr) << "the dispatcher is gone";

  // Destroying a linked pin unlinks it as well.
  auto e = std::make_unique<TSwitch>("e");
  ASSERT_TRUE(a.EnablePin.ConnectTo(&e->EnablePin));
  e.reset();
  EXPECT_EQ(a.EnablePin.Dispatcher(), nullptr);
}

TEST(StatePins, DispatchersAreNamedAfterTheRootComponent) {
  TRecorder form("fmMain");
  auto* owner = new TRecorder("ALAudioIn1", &form);
  TOWBoolStatePin p1(owner, nullptr), p2(owner, nullptr), p3(owner, nullptr), p4(owner, nullptr);
  ASSERT_TRUE(p1.ConnectTo(&p2));
  ASSERT_TRUE(p3.ConnectTo(&p4));
  EXPECT_EQ(p1.Dispatcher()->Name(), "fmMainLink1");
  EXPECT_EQ(p3.Dispatcher()->Name(), "fmMainLink2");
  p1.Disconnect();
  TOWBoolStatePin p5(owner, nullptr);
  ASSERT_TRUE(p5.ConnectTo(&p1));
  EXPECT_EQ(p5.Dispatcher()->Name(), "fmMainLink1") << "the smallest free number";

  TOWBoolStatePin lone1(nullptr, nullptr), lone2(nullptr, nullptr);
  ASSERT_TRUE(lone1.ConnectTo(&lone2));
  EXPECT_EQ(lone1.Dispatcher()->Name(), "Link1");
}

TEST(StatePins, ABoolSinkLinkedToAStatePinFollowsItsValue) {
  TSwitch s("s");
  TBoolInput input;
  ASSERT_TRUE(input.EnablePin.ConnectTo(&s.EnablePin));
  EXPECT_TRUE(input.EnablePin.IsStateLinked());
  s.EnablePin.SetValue(true);
  EXPECT_EQ(input.changes, std::vector<bool>{true});
  EXPECT_TRUE(input.EnablePin.Value());
}

TEST(StatePins, PinsWithoutAStateLinkTypeAreNotLinked) {
  TSwitch s("s");
  TAudioSource audio;
  EXPECT_FALSE(s.EnablePin.CanConnectTo(&audio.OutputPin));
  EXPECT_FALSE(s.EnablePin.ConnectTo(&audio.OutputPin));
  EXPECT_FALSE(audio.OutputPin.ConnectTo(&s.EnablePin));
  EXPECT_EQ(s.EnablePin.Dispatcher(), nullptr);
  EXPECT_EQ(audio.OutputPin.Dispatcher(), nullptr);
}

}  // namespace
}  // namespace tardivox
