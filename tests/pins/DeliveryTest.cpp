#include <gtest/gtest.h>

#include "PinTestSupport.h"
#include "core/Exceptions.h"
#include "pins/StreamTypeIds.h"

namespace tardivox {
namespace {

using testing::RealBuffer;
using testing::TAudioSink;
using testing::TAudioSource;
using testing::TRecorder;

using Kinds = std::vector<std::string>;

bool SendBufferOp(TOWSourcePin& pin) {
  TRef<IOWNotifyOperation> op(new TOWSuppliedBufferOperation(RealBuffer(1.0)));
  return pin.Notify(*op);
}

std::vector<TOWBasicPin*> Order(const TOWSourcePin& source) {
  std::vector<TOWBasicPin*> order;
  for (int i = 0; i < source.SinkCount(); ++i) order.push_back(source.GetSink(i));
  return order;
}

TEST(Delivery, SourceWithoutSinksDeliversNothing) {
  TAudioSource source;
  EXPECT_FALSE(SendBufferOp(source.OutputPin));
  EXPECT_FALSE(source.OutputPin.SendBuffer(RealBuffer(1.0)));
  EXPECT_EQ(source.OutputPin.NotificationDepth(), 0);
}

TEST(Delivery, OnlyTheLastSinkIsTheLastReceiver) {
  TAudioSource source;
  TAudioSink a, b, c;
  ASSERT_TRUE(a.InputPin.ConnectTo(&source.OutputPin));
  ASSERT_TRUE(b.InputPin.ConnectTo(&source.OutputPin));
  source.OutputPin.SendBuffer(RealBuffer(1.0));
  ASSERT_EQ(a.log.size(), 1u);
  ASSERT_EQ(b.log.size(), 1u);
  EXPECT_EQ(a.log[0].flags, 0);
  EXPECT_EQ(b.log[0].flags, kStateLastReceiver);
  EXPECT_EQ(a.log[0].op, b.log[0].op) << "one operation object for all sinks";
  EXPECT_EQ(a.log[0].type, kAudioStreamType);

  ASSERT_TRUE(c.InputPin.ConnectTo(&source.OutputPin));
  source.OutputPin.SendBuffer(RealBuffer(2.0));
  EXPECT_EQ(b.log[1].flags, 0);
  EXPECT_EQ(c.log[0].flags, kStateLastReceiver);
}

TEST(Delivery, SinksAnsweringTrueDriftToTheEnd) {
  TAudioSource source;
  TAudioSink a("a"), b("b"), c("c");
  for (TAudioSink* s : {&a, &b, &c}) ASSERT_TRUE(s->InputPin.ConnectTo(&source.OutputPin));
  int answers = 1;
  a.answer = [&](TOWPin&, IOWNotifyOperation&, TOWStateFlags) { return answers-- > 0; };

  source.OutputPin.SendBuffer(RealBuffer(1.0));
  EXPECT_EQ(Order(source.OutputPin),
            (std::vector<TOWBasicPin*>{&b.InputPin, &c.InputPin, &a.InputPin}));
  EXPECT_EQ(source.OutputPin.FindEntry(&a.InputPin)->activity, 3);
  source.OutputPin.SendBuffer(RealBuffer(2.0));
  EXPECT_EQ(a.log.back().flags, kStateLastReceiver);
  EXPECT_EQ(c.log.back().flags, 0);
  // The counter decays but equal counters keep their order: a stays last.
  for (int i = 0; i < 4; ++i) source.OutputPin.SendBuffer(RealBuffer(3.0));
  EXPECT_EQ(source.OutputPin.FindEntry(&a.InputPin)->activity, 0);
  EXPECT_EQ(source.OutputPin.GetSink(2), &a.InputPin);
}

TEST(Delivery, AnAfterConstraintSurvivesTheResort) {
  TAudioSource source;
  TAudioSink a("a"), b("b"), c("c");
  ASSERT_TRUE(a.InputPin.ConnectTo(&source.OutputPin));
  ASSERT_TRUE(b.InputPin.ConnectTo(&source.OutputPin, &a.InputPin));
  ASSERT_TRUE(c.InputPin.ConnectTo(&source.OutputPin));
  a.answer = [](TOWPin&, IOWNotifyOperation&, TOWStateFlags) { return true; };
  for (int i = 0; i < 3; ++i) source.OutputPin.SendBuffer(RealBuffer(1.0));
  // a drifts behind c, and b, which must follow a, goes with it.
  EXPECT_EQ(Order(source.OutputPin),
            (std::vector<TOWBasicPin*>{&c.InputPin, &a.InputPin, &b.InputPin}));
  EXPECT_EQ(b.log.back().flags, kStateLastReceiver);
}

TEST(Delivery, ASinkWithoutHandlerAnswersFalseAndTheOthersStillReceive) {
  TAudioSource source;
  TAudioSink before, after;
  TRecorder silentOwner;
  TALOWAudioSinkPin silent(&silentOwner, nullptr);
  ASSERT_TRUE(before.InputPin.ConnectTo(&source.OutputPin));
  ASSERT_TRUE(silent.ConnectTo(&source.OutputPin));
  ASSERT_TRUE(after.InputPin.ConnectTo(&source.OutputPin));
  TRef<IOWNotifyOperation> op(new TOWSuppliedBufferOperation(RealBuffer(1.0)));
  EXPECT_FALSE(silent.Receive(kAudioStreamType, *op, 0));
  source.OutputPin.SendBuffer(RealBuffer(1.0));
  EXPECT_EQ(before.log.size(), 1u);
  EXPECT_EQ(after.log.size(), 1u);
}

TEST(Delivery, ErrorsReachNotifyButSendBufferSwallowsThem) {
  TAudioSource source;
  TAudioSink failing, next;
  ASSERT_TRUE(failing.InputPin.ConnectTo(&source.OutputPin));
  ASSERT_TRUE(next.InputPin.ConnectTo(&source.OutputPin));
  failing.answer = [](TOWPin&, IOWNotifyOperation& op, TOWStateFlags) -> bool {
    if (OperationIs<TOWSuppliedBufferOperation>(op)) throw ERangeError("Index out of range = 7");
    return false;
  };
  EXPECT_THROW(SendBufferOp(source.OutputPin), ERangeError);
  EXPECT_FALSE(source.OutputPin.SendBuffer(RealBuffer(1.0)));
  EXPECT_EQ(source.OutputPin.NotificationDepth(), 0);
  // The source is still usable once the failing sink is gone.
  failing.InputPin.Disconnect();
  source.OutputPin.SendBuffer(RealBuffer(2.0));
  EXPECT_EQ(next.Count<TOWSuppliedBufferOperation>(), 1);
}

TEST(Delivery, NestingThroughTheSameSourceFailsAtLevel201) {
  TAudioSource source;
  TAudioSink echo;
  ASSERT_TRUE(echo.InputPin.ConnectTo(&source.OutputPin));
  int calls = 0;
  echo.answer = [&](TOWPin&, IOWNotifyOperation& op, TOWStateFlags) {
    ++calls;
    return source.OutputPin.Notify(op);
  };
  try {
    SendBufferOp(source.OutputPin);
    FAIL() << "no error";
  } catch (const EOWException& e) {
    EXPECT_STREQ(e.what(), "The pin depends on itself. Please protect with functional dependency.");
  }
  EXPECT_EQ(calls, 201);
  EXPECT_EQ(source.OutputPin.NotificationDepth(), 0);

  calls = 0;
  EXPECT_FALSE(source.OutputPin.SendBuffer(RealBuffer(1.0)));
  EXPECT_EQ(calls, 201);
  EXPECT_EQ(source.OutputPin.NotificationDepth(), 0);
}

constexpr Guid kProbeType = GuidLiteral("{0B9D1E2A-1111-4C3B-9E5F-7A6B5C4D3E2F}");

// A source whose delivery function does not ignore probes: each probe announces the sink again.
class TReannouncingSource : public TOWSourcePin {
 public:
  TReannouncingSource() : TOWSourcePin(nullptr) {
    AddInterface(kProbeType);
    AddFunction(
        kProbeType,
        TOWDeliveryFunction::Bind<TReannouncingSource, &TReannouncingSource::Deliver>(this));
  }
  bool Deliver(TOWBasicPin* target, const Guid&, IOWNotifyOperation&, TOWStateFlags flags) {
    ++calls;
    lastFlags = flags;
    if (flags & kStateProbe) AnnounceSink(target);
    return false;
  }
  int calls = 0;
  TOWStateFlags lastFlags = 0;
};

class TProbeSink : public TOWSinkPin {
 public:
  TProbeSink() : TOWSinkPin(nullptr) { AddInterface(kProbeType); }
};

TEST(Delivery, TheConnectionProbeFailsAfterTenNestedLevels) {
  TReannouncingSource source;
  TProbeSink sink;
  try {
    sink.ConnectTo(&source);
    FAIL() << "no error";
  } catch (const EOWException& e) {
    EXPECT_STREQ(e.what(), kDependsOnItselfMessage);
  }
  EXPECT_EQ(source.calls, 11);
  EXPECT_EQ(source.lastFlags, kStateProbe | kStateLastReceiver);
  EXPECT_EQ(source.NotificationDepth(), 0);
  // The connection itself was made.
  EXPECT_TRUE(source.IsConnectedTo(&sink));
  EXPECT_EQ(sink.NegotiatedType(), kProbeType);
}

TEST(Delivery, ASinkDroppedDuringANotificationReceivesNothingMore) {
  TAudioSource source;
  TAudioSink first, dropped;
  ASSERT_TRUE(first.InputPin.ConnectTo(&source.OutputPin));
  ASSERT_TRUE(dropped.InputPin.ConnectTo(&source.OutputPin));
  first.answer = [&](TOWPin&, IOWNotifyOperation& op, TOWStateFlags) {
    if (OperationIs<TOWSuppliedBufferOperation>(op)) dropped.InputPin.Disconnect();
    return false;
  };
  source.OutputPin.SendBuffer(RealBuffer(1.0));
  EXPECT_EQ(dropped.Kinds(), Kinds{"stop"});
  EXPECT_EQ(source.OutputPin.SinkCount(), 1);
}

// A sink that takes float single values but no buffer type.
class TFloatSink : public TOWSinkPin, public IOWPinReceiver {
 public:
  TFloatSink() : TOWSinkPin(nullptr) { AddInterface(kFloatSingleType); }
  bool Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags) override {
    EXPECT_EQ(type, kFloatSingleType);
    if (auto* single = OperationAs<TOWSuppliedSingleOperation>(op))
      values.push_back(single->Value());
    return false;
  }
  std::vector<float> values;

 protected:
  IOWPinReceiver* Receiver() override { return this; }
};

TEST(Delivery, ARealSourceSendsSingleValuesToAFloatSingleSink) {
  TRecorder owner;
  TSLOWRealSourcePin source(&owner, owner.Handler());
  TFloatSink sink;
  ASSERT_TRUE(sink.ConnectTo(&source));
  EXPECT_EQ(source.FindEntry(&sink)->type, kFloatSingleType);
  source.SendBuffer(RealBuffer(0.25, 4));
  source.SendBuffer(RealBuffer(0.0, 0));  // empty: nothing to send
  TRef<IOWNotifyOperation> start(new TOWStartSampleRateOperation(0, 100));
  source.Notify(*start);
  TRef<IOWNotifyOperation> single(new TOWSuppliedSingleOperation(-1.5f));
  source.Notify(*single);
  EXPECT_EQ(sink.values, (std::vector<float>{0.25f, -1.5f}));
}

}  // namespace
}  // namespace tardivox
