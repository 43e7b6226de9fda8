#include "pins/NotifyOperations.h"

#include <gtest/gtest.h>

#include "model/Component.h"

namespace tardivox {
namespace {

TEST(NotifyOperations, IdentifiersAreConsecutive) {
  TRef<IOWNotifyOperation> a(new TOWNotifyOperation);
  TRef<IOWNotifyOperation> b(new TOWStopOperation);
  TRef<IOWNotifyOperation> c(new TOWStartWaveOperation(WaveFormat{}, 1.0f));
  EXPECT_GE(a->GetOperation()->Id(), 1u);
  EXPECT_EQ(b->GetOperation()->Id(), a->GetOperation()->Id() + 1);
  EXPECT_EQ(c->GetOperation()->Id(), b->GetOperation()->Id() + 1);
}

TEST(NotifyOperations, StartSampleRateComputesItsRateAsAFloat) {
  const struct {
    int32_t bufferSize;
    double sampleRate;
    float rate;
  } cases[] = {{512, 44100, 86.1328125f},
               {0, 44100, 44100.0f},
               {-3, 11025, 11025.0f},
               {1024, 11025, 11025.0f / 1024.0f}};
  for (const auto& c : cases) {
    TOWStartSampleRateOperation op(c.bufferSize, c.sampleRate);
    EXPECT_EQ(op.Rate(), c.rate) << c.bufferSize;
    EXPECT_EQ(op.SampleRate(), c.sampleRate);
    EXPECT_EQ(op.BufferSize(), c.bufferSize);
  }
}

TEST(NotifyOperations, StartWaveCarriesItsFormatAndTheStreamRate) {
  const WaveFormat format = WaveFormat::Pcm(2, 16, 44100, 3);
  TRef<IOWNotifyOperation> op(new TOWStartWaveOperation(format, 1.0f));
  // A receiver that only knows the start-rate kind still reads it.
  auto* sampleRate = OperationAs<TOWStartSampleRateOperation>(*op);
  ASSERT_NE(sampleRate, nullptr);
  EXPECT_EQ(sampleRate->BufferSize(), 0);
  EXPECT_EQ(sampleRate->SampleRate(), 1.0);
  EXPECT_EQ(sampleRate->Rate(), 1.0f);
  EXPECT_EQ(OperationAs<TOWStartWaveOperation>(*op)->Format(), format);
}

// Derived kinds are accepted wherever their base kind is, and nowhere else.
TEST(NotifyOperations, KindTestsFollowTheClassTree) {
  TRef<IOWNotifyOperation> wave(new TOWStartWaveOperation(WaveFormat{}, 1.0f));
  TRef<IOWNotifyOperation> endStop(new TOWEndStopOperation);
  TRef<IOWNotifyOperation> buffer(new TOWSuppliedBufferOperation(nullptr));
  TRef<IOWNotifyOperation> single(new TOWSuppliedSingleOperation(0.5f));
  TRef<IOWNotifyOperation> spectrum(new TOWStartSpectrumOperation(0, 10.0));

  EXPECT_TRUE(OperationIs<TOWStartSampleRateOperation>(*wave));
  EXPECT_TRUE(OperationIs<TOWStartRateOperation>(*wave));
  EXPECT_TRUE(OperationIs<TOWStartOperation>(*wave));
  EXPECT_FALSE(OperationIs<TOWStopOperation>(*wave));
  EXPECT_TRUE(OperationIs<TOWStopOperation>(*endStop));
  EXPECT_FALSE(OperationIs<TOWStartOperation>(*endStop));
  EXPECT_TRUE(OperationIs<TOWClockOperation>(*buffer));
  EXPECT_TRUE(OperationIs<TOWSuppliedOperation>(*buffer));
  EXPECT_FALSE(OperationIs<TOWSuppliedBufferOperation>(*single));
  EXPECT_TRUE(OperationIs<TOWStartSampleRateOperation>(*spectrum));
  EXPECT_FALSE(OperationIs<TOWStartWaveOperation>(*spectrum));
  EXPECT_EQ(OperationAs<TOWSuppliedSingleOperation>(*single)->Value(), 0.5f);
}

TEST(NotifyOperations, PumpRequestTakeOverRule) {
  TComponent capture(nullptr);
  TComponent playback(nullptr);
  const struct {
    uint8_t kind;
    int32_t requestPriority;
    int32_t ownPriority;
    bool takenOver;
  } cases[] = {
      {3, 0, 0, false},  // ties keep the sender
      {3, 0, 1, true},  {3, 5, 5, false}, {3, 5, 6, true},
      {3, 5, 4, false}, {0, 5, 0, true},  // not a stream-pump claim: anyone takes it
  };
  for (const auto& c : cases) {
    TOWPumpRequestOperation request(&capture, 1.0f, c.requestPriority, c.kind);
    EXPECT_EQ(request.CanBeTakenOverBy(c.ownPriority), c.takenOver)
        << int(c.kind) << " " << c.requestPriority << " " << c.ownPriority;
    if (request.CanBeTakenOverBy(c.ownPriority)) request.TakeOver(&playback, c.ownPriority);
    EXPECT_EQ(request.Pump(), c.takenOver ? &playback : &capture);
    EXPECT_EQ(request.Rate(), 1.0f);
  }
  TOWPumpRequestOperation empty;
  EXPECT_EQ(empty.Pump(), nullptr);
  EXPECT_EQ(empty.PumpKind(), 0);
  EXPECT_TRUE(empty.CanBeTakenOverBy(0));
}

}  // namespace
}  // namespace tardivox
