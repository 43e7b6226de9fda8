#include <gtest/gtest.h>

#include <memory>

#include "PinTestSupport.h"
#include "pins/StreamTypeIds.h"

namespace tardivox {
namespace {

using testing::RealBuffer;
using testing::TAudioFilter;
using testing::TAudioSink;
using testing::TAudioSource;
using testing::TRecorder;

using Kinds = std::vector<std::string>;

void SendStart(TOWSourcePin& pin) {
  TRef<IOWNotifyOperation> op(new TOWStartWaveOperation(WaveFormat::Pcm(2, 16, 44100, 3), 1.0f));
  pin.Notify(*op);
}

void SendResume(TOWSourcePin& pin) {
  TRef<IOWNotifyOperation> op(new TOWSLResumeOperation);
  pin.Notify(*op);
}

TEST(Connecting, AudioPinsSettleOnTheAudioType) {
  TAudioSource source;
  TAudioSink sink;
  EXPECT_TRUE(sink.InputPin.CanConnectTo(&source.OutputPin));
  ASSERT_TRUE(sink.InputPin.ConnectTo(&source.OutputPin));
  EXPECT_EQ(sink.InputPin.SourcePin(), &source.OutputPin);
  EXPECT_EQ(sink.InputPin.NegotiatedType(), kAudioStreamType);
  ASSERT_NE(source.OutputPin.FindEntry(&sink.InputPin), nullptr);
  EXPECT_EQ(source.OutputPin.FindEntry(&sink.InputPin)->type, kAudioStreamType);
  EXPECT_TRUE(source.OutputPin.IsConnectedTo(&sink.InputPin));
  EXPECT_EQ(source.OutputPin.LinkCount(), 1);
  EXPECT_EQ(sink.InputPin.GetLink(0), &source.OutputPin);
  // The probe is delivered by the signal delivery, which ignores it.
  EXPECT_TRUE(sink.log.empty());
}

TEST(Connecting, PinsWithoutACommonTypeAreRefused) {
  TAudioSource audio;
  TRecorder realOwner;
  TSLOWRealSinkPin realSink(&realOwner, realOwner.Handler());
  TSLOWRealSourcePin realSource(&realOwner, realOwner.Handler());
  TAudioSink audioSink;

  const struct {
    TOWBasicPin* from;
    TOWBasicPin* to;
  } refused[] = {
      {&realSink, &audio.OutputPin},      {&audio.OutputPin, &realSink},
      {&audioSink.InputPin, &realSource}, {&audioSink.InputPin, &audioSink.InputPin},  // itself
      {&audio.OutputPin, &realSource},  // source to source
  };
  for (const auto& r : refused) {
    EXPECT_FALSE(r.from->CanConnectTo(r.to));
    EXPECT_FALSE(r.from->ConnectTo(r.to));
  }
  EXPECT_FALSE(realSink.IsConnected());
  EXPECT_FALSE(audio.OutputPin.IsConnected());
  EXPECT_FALSE(audioSink.InputPin.IsConnected());
}

TEST(Connecting, RealSourceAndCombinedSinksSettleOnTheRealBufferType) {
  TRecorder owner;
  TSLOWRealSourcePin source(&owner, owner.Handler());
  TSLOWRealSinkPin real(&owner, owner.Handler());
  TSLOWComboRealSinkPin combo(&owner, owner.Handler());
  TSLOWComboRealIntSinkPin comboInt(&owner, owner.Handler());
  for (TOWSinkPin* sink : std::initializer_list<TOWSinkPin*>{&real, &combo, &comboInt}) {
    ASSERT_TRUE(sink->ConnectTo(&source));
    EXPECT_EQ(sink->NegotiatedType(), kRealBufferType);
    EXPECT_EQ(source.FindEntry(sink)->type, kRealBufferType);
  }
  EXPECT_TRUE(comboInt.SupportsType(kIntegerBufferType));
  EXPECT_TRUE(comboInt.SupportsType(kFloatSingleType));
  EXPECT_FALSE(real.SupportsType(kFloatSingleType));
}

TEST(Connecting, LoopsThroughComponentsAreRefused) {
  TAudioFilter first("first");
  TAudioFilter second("second");
  // Directly: a filter's input to its own output.
  EXPECT_TRUE(first.OutputPin.DependsOn(&first.InputPin));
  EXPECT_FALSE(first.InputPin.ConnectTo(&first.OutputPin));
  // Through a second filter.
  ASSERT_TRUE(second.InputPin.ConnectTo(&first.OutputPin));
  EXPECT_TRUE(second.OutputPin.DependsOn(&first.InputPin));
  EXPECT_FALSE(first.InputPin.CanConnectTo(&second.OutputPin));
  EXPECT_FALSE(first.InputPin.ConnectTo(&second.OutputPin));
  EXPECT_FALSE(second.OutputPin.ConnectTo(&first.InputPin));
  EXPECT_FALSE(first.InputPin.IsConnected());
  // The other way round is a plain chain.
  TAudioSource head;
  EXPECT_TRUE(first.InputPin.ConnectTo(&head.OutputPin));
  EXPECT_FALSE(head.OutputPin.DependsOn(&second.InputPin));
}

TEST(Connecting, ReconnectingToTheCurrentSourceChangesNothing) {
  TAudioSource source;
  TAudioSink sink;
  SendStart(source.OutputPin);
  ASSERT_TRUE(sink.InputPin.ConnectTo(&source.OutputPin));
  ASSERT_EQ(sink.log.size(), 1u);
  EXPECT_TRUE(sink.InputPin.ConnectTo(&source.OutputPin));
  EXPECT_EQ(sink.log.size(), 1u) << "no probe, no second start";
  EXPECT_EQ(source.OutputPin.SinkCount(), 1);
}

TEST(Connecting, ConnectToNothingDisconnects) {
  TAudioSource source;
  TAudioSink sink;
  EXPECT_TRUE(sink.InputPin.ConnectTo(nullptr));  // unconnected: nothing to do
  EXPECT_TRUE(sink.log.empty());
  ASSERT_TRUE(sink.InputPin.ConnectTo(&source.OutputPin));
  EXPECT_TRUE(sink.InputPin.ConnectTo(nullptr));
  EXPECT_FALSE(sink.InputPin.IsConnected());
  EXPECT_FALSE(source.OutputPin.IsConnected());
  EXPECT_EQ(sink.Kinds(), Kinds{"stop"});
}

TEST(Connecting, RememberedStartOnceFromTheSinkSideTwiceFromTheSourceSide) {
  TAudioSource source;
  TAudioSink bySink, bySource, beforeStart;
  ASSERT_TRUE(beforeStart.InputPin.ConnectTo(&source.OutputPin));
  SendStart(source.OutputPin);
  EXPECT_EQ(beforeStart.Kinds(), Kinds{"startwave"});

  ASSERT_TRUE(bySink.InputPin.ConnectTo(&source.OutputPin));
  EXPECT_EQ(bySink.Kinds(), Kinds{"startwave"});
  EXPECT_EQ(bySink.log[0].flags, kStateLastReceiver) << "delivered alone";
  ASSERT_TRUE(source.OutputPin.ConnectTo(&bySource.InputPin));
  EXPECT_EQ(bySource.Kinds(), (Kinds{"startwave", "startwave"}));
  // The same object every time.
  EXPECT_EQ(bySource.log[0].op, beforeStart.log[0].op);
  EXPECT_EQ(beforeStart.log.size(), 1u) << "the others receive nothing";

  // A stop makes the source forget it.
  source.OutputPin.SendEndStop();
  TAudioSink late;
  ASSERT_TRUE(late.InputPin.ConnectTo(&source.OutputPin));
  EXPECT_TRUE(late.log.empty());
  EXPECT_EQ(source.OutputPin.RememberedStart(), nullptr);
}

TEST(Connecting, ResumeFollowsTheStartForALateSink) {
  TAudioSource source;
  SendStart(source.OutputPin);
  source.OutputPin.SendBuffer(RealBuffer(1.0));
  SendResume(source.OutputPin);
  TAudioSink late;
  ASSERT_TRUE(late.InputPin.ConnectTo(&source.OutputPin));
  EXPECT_EQ(late.Kinds(), (Kinds{"startwave", "resume"}));

  source.OutputPin.SendStop();
  EXPECT_EQ(source.OutputPin.RememberedResume(), nullptr);
  TAudioSink afterStop;
  ASSERT_TRUE(afterStop.InputPin.ConnectTo(&source.OutputPin));
  EXPECT_TRUE(afterStop.log.empty());
}

TEST(Connecting, DisconnectingOneSinkStopsThatSinkAlone) {
  TAudioSource source;
  TAudioSink a, b;
  ASSERT_TRUE(a.InputPin.ConnectTo(&source.OutputPin));
  ASSERT_TRUE(b.InputPin.ConnectTo(&source.OutputPin));
  a.InputPin.Disconnect();
  EXPECT_EQ(a.Kinds(), Kinds{"stop"});
  EXPECT_TRUE(b.log.empty());
  EXPECT_EQ(source.OutputPin.SinkCount(), 1);
  EXPECT_EQ(source.OutputPin.GetSink(0), &b.InputPin);

  // Moving a sink to another source stops it at the old one.
  TAudioSource other;
  ASSERT_TRUE(b.InputPin.ConnectTo(&other.OutputPin));
  EXPECT_EQ(b.Kinds(), Kinds{"stop"});
  EXPECT_FALSE(source.OutputPin.IsConnected());
}

TEST(Connecting, DisconnectingOrDestroyingASourceSendsNoStop) {
  TAudioSink a, b;
  {
    TAudioSource source;
    ASSERT_TRUE(a.InputPin.ConnectTo(&source.OutputPin));
    ASSERT_TRUE(b.InputPin.ConnectTo(&source.OutputPin));
    source.OutputPin.Disconnect();
    EXPECT_FALSE(a.InputPin.IsConnected());
    ASSERT_TRUE(a.InputPin.ConnectTo(&source.OutputPin));
    ASSERT_TRUE(b.InputPin.ConnectTo(&source.OutputPin));
  }
  EXPECT_FALSE(a.InputPin.IsConnected());
  EXPECT_FALSE(b.InputPin.IsConnected());
  EXPECT_TRUE(a.log.empty());
  EXPECT_TRUE(b.log.empty());
}

TEST(Connecting, DestroyingASinkLeavesTheSourceAndThePinList) {
  TAudioSource source;
  const int pins = TOWInternalPinList::Count();
  auto sink = std::make_unique<TAudioSink>();
  EXPECT_EQ(TOWInternalPinList::Count(), pins + 1);
  ASSERT_TRUE(sink->InputPin.ConnectTo(&source.OutputPin));
  sink.reset();
  EXPECT_EQ(TOWInternalPinList::Count(), pins);
  EXPECT_FALSE(source.OutputPin.IsConnected());
  EXPECT_FALSE(source.OutputPin.SendBuffer(RealBuffer(1.0)));
}

TEST(Connecting, SourceSideAfterMustBeASinkAndMustNotLoop) {
  TAudioSource source;
  TAudioSink a, b, stranger;
  ASSERT_TRUE(source.OutputPin.ConnectTo(&a.InputPin));
  EXPECT_FALSE(source.OutputPin.ConnectTo(&b.InputPin, &stranger.InputPin));
  EXPECT_FALSE(b.InputPin.IsConnected());
  ASSERT_TRUE(source.OutputPin.ConnectTo(&b.InputPin, &a.InputPin));
  EXPECT_EQ(source.OutputPin.FindEntry(&b.InputPin)->after, &a.InputPin);
  // a after b would close a loop (b already follows a).
  EXPECT_FALSE(source.OutputPin.ConnectTo(&a.InputPin, &b.InputPin));
  EXPECT_EQ(source.OutputPin.FindEntry(&a.InputPin)->after, nullptr);
  // The sink side refuses the same loop.
  a.InputPin.Disconnect();
  EXPECT_FALSE(a.InputPin.ConnectTo(&source.OutputPin, &b.InputPin));
  EXPECT_FALSE(a.InputPin.IsConnected());
}

TEST(Connecting, AcceptAnyTypeLetsASinkTakeASourceThatOnlyOffersTheType) {
  // A source that offers the audio type without implementing it: the sink-side negotiation
  // finds nothing, so only a sink that accepts any type may connect.
  TOWSourcePin bare(nullptr);
  bare.AddDataType(kAudioStreamType);
  TAudioSink sink;
  EXPECT_FALSE(sink.InputPin.CanConnectTo(&bare));
  EXPECT_FALSE(sink.InputPin.ConnectTo(&bare));
  sink.InputPin.SetAcceptAnyType(true);
  ASSERT_TRUE(sink.InputPin.ConnectTo(&bare));
  EXPECT_EQ(bare.FindEntry(&sink.InputPin)->type, kAudioStreamType);
  EXPECT_TRUE(sink.InputPin.NegotiatedType().IsNull());
  TRef<IOWNotifyOperation> op(new TOWSuppliedBufferOperation(RealBuffer(1.0)));
  bare.Notify(*op);
  EXPECT_EQ(sink.Kinds(), Kinds{"buffer"});
  // Nothing to deliver upstream on a null type.
  EXPECT_FALSE(sink.InputPin.Notify(*op));
}

// An output whose type follows its input (a data-type pass-through) offers only what the
// input gets.
TEST(Connecting, DataTypePassThroughRestrictsTheOfferedTypes) {
  class TAnySink : public TSLOWSinkPin {
   public:
    explicit TAnySink(TComponent* owner) : TSLOWSinkPin(owner) {
      AddInterface(kAudioStreamType);
      AddInterface(kRealBufferType);
      AddDataType(kAudioStreamType);
      AddDataType(kRealBufferType);
    }
  };
  class TAnySource : public TSLOWSourcePin {
   public:
    explicit TAnySource(TComponent* owner) : TSLOWSourcePin(owner) {
      AddInterface(kAudioStreamType);
      AddInterface(kRealBufferType);
      AddDataType(kAudioStreamType);
      AddDataType(kRealBufferType);
    }
  };
  TRecorder owner;
  TAnySink input(&owner);
  TAnySource output(&owner);
  output.DataTypeSinkPins().AddPassThrough(&input, true);
  TAudioSource audio;
  TAudioSink audioSink;
  TSLOWRealSinkPin realSink(&owner, owner.Handler());

  // Unconnected input: no restriction.
  EXPECT_TRUE(realSink.CanConnectTo(&output));
  ASSERT_TRUE(input.ConnectTo(&audio.OutputPin));
  EXPECT_EQ(input.NegotiatedType(), kAudioStreamType);
  EXPECT_FALSE(output.RestrictedTypes().Contains(kRealBufferType));
  EXPECT_FALSE(output.SupportsType(kRealBufferType));
  EXPECT_FALSE(realSink.ConnectTo(&output));
  EXPECT_TRUE(audioSink.InputPin.ConnectTo(&output));
  EXPECT_EQ(output.FindEntry(&audioSink.InputPin)->type, kAudioStreamType);
}

TEST(Connecting, ForgettingAPassThroughSinkRebuildsDownstreamPaths) {
  auto filter = std::make_unique<TAudioFilter>();
  TAudioSource head;
  TAudioSink tail;
  ASSERT_TRUE(filter->InputPin.ConnectTo(&head.OutputPin));
  ASSERT_TRUE(tail.InputPin.ConnectTo(&filter->OutputPin));
  EXPECT_EQ(tail.InputPin.UpstreamLockList().size(), 4u);
  filter.reset();
  EXPECT_TRUE(tail.InputPin.UpstreamLockList().empty());
  EXPECT_FALSE(tail.InputPin.IsConnected());
  EXPECT_FALSE(head.OutputPin.IsConnected());
}

}  // namespace
}  // namespace tardivox
