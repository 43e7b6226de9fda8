#include "processing/Add.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

#include "processing/AudioToReal.h"
#include "processing/FilterTestSupport.h"
#include "processing/RealTestSupport.h"

namespace tardivox {
namespace {

using testing::TRealSink;
using testing::TRealSource;
using Values = std::vector<double>;
using Kinds = std::vector<std::string>;

Values Ramp(double first, size_t count, double step = 1.0) {
  Values values(count);
  for (size_t i = 0; i < count; ++i) values[i] = first + step * static_cast<double>(i);
  return values;
}

// real sources → adder inputs; adder output → sink.
class AddTest : public ::testing::Test {
 protected:
  void Connect(int inputs) {
    for (int i = 0; i < inputs; ++i) {
      ASSERT_TRUE(sources[i].OutputPin.ConnectTo(adder.InputPins().Items(i)));
    }
    ASSERT_TRUE(adder.OutputPin().ConnectTo(&sink.InputPin));
  }
  TSLOWQueuedRealSinkPin& Input(int i) { return *adder.Inputs()[static_cast<size_t>(i)]; }

  TRealSource sources[3];
  TSLAdd adder{nullptr};
  TRealSink sink;
};

TEST_F(AddTest, AlternateHalfBlocksGiveOneBlockOfSumsAfterTheFourth) {
  Connect(2);
  sources[0].Start(44100);
  sources[1].Start(44100);
  const Values a1 = Ramp(0, 512), b1 = Ramp(10000, 512, -3), a2 = Ramp(512, 512),
               b2 = Ramp(-7, 512, 0.5);
  sources[0].Send(a1);
  sources[1].Send(b1);
  sources[0].Send(a2);
  EXPECT_TRUE(sink.Blocks().empty());
  sources[1].Send(b2);
  ASSERT_EQ(sink.Blocks().size(), 1u);
  const Values block = sink.Blocks()[0];
  ASSERT_EQ(block.size(), 1024u);
  for (size_t k = 0; k < 1024; ++k) {
    const double expected = k < 512 ? a1[k] + b1[k] : a2[k - 512] + b2[k - 512];
    ASSERT_EQ(block[k], expected) << "item " << k;
  }
  EXPECT_EQ(sink.Kinds(), (Kinds{"start", "buffer"}));
  auto* start = OperationAs<TOWStartSampleRateOperation>(*sink.ops[0]);
  EXPECT_EQ(start->BufferSize(), 1024);
  EXPECT_EQ(start->SampleRate(), 44100.0);
}

TEST_F(AddTest, SlowerInputIsStretchedOverTheBlock) {
  Connect(2);
  sources[0].Start(22050);
  sources[1].Start(44100);
  EXPECT_EQ(Input(0).Needed(), 512u);
  EXPECT_EQ(Input(1).Needed(), 1024u);
  const Values slow = Ramp(1, 512, 1000);
  sources[0].Send(slow);
  sources[1].Send(Values(1024, 0.25));
  ASSERT_EQ(sink.Blocks().size(), 1u);
  const Values block = sink.Blocks()[0];
  for (size_t k = 0; k < 1024; ++k) {
    const auto n = static_cast<size_t>(std::nearbyint(static_cast<double>(k) * 511 / 1024));
    ASSERT_EQ(block[k], slow[std::min<size_t>(511, n)] + 0.25) << "item " << k;
  }
}

TEST(QueuedRealSinkPin, NeededCountRoundsHalfToEvenWithTheCommonRateAsAFloat) {
  const struct {
    int32_t block;
    double rate, common;
    uint32_t needed;
  } cases[] = {
      {3, 22050, 44100, 2},
      {5, 22050, 44100, 2},
      {1024, 11025, 44100, 256},
      {1000, 44100.5, 44100.5, 1000},
      {1024, 44100, 0, 0},
      {0, 44100, 44100, 0},
      {7, 1, 3, 2},
      {1 << 20, 1e9, 1.0, UINT32_MAX},
  };
  for (const auto& c : cases) {
    TSLOWQueuedRealSinkPin pin(nullptr, nullptr);
    pin.Setup(0, c.rate);
    pin.ComputeNeed(c.block, c.common);
    EXPECT_EQ(pin.Needed(), c.needed) << c.block << " × " << c.rate << " / " << c.common;
  }
  // A common rate that a float cannot hold exactly is rounded before the division.
  TSLOWQueuedRealSinkPin pin(nullptr, nullptr);
  pin.Setup(0, 1.0);
  pin.ComputeNeed(100000000, 16777217.0);
  EXPECT_EQ(pin.Needed(), static_cast<uint32_t>(std::nearbyint(1e8 / 16777216.0)));
}

TEST_F(AddTest, UnstartedConnectedInputKeepsTheOldNeededCountsAndHoldsNothingBack) {
  adder.InputPins().SetCount(3);
  Connect(2);
  sources[0].Start(44100);
  sources[1].Start(44100);
  ASSERT_TRUE(sources[2].OutputPin.ConnectTo(adder.InputPins().Items(2)));
  sources[0].Stop();
  sources[0].Start(22050);
  EXPECT_EQ(Input(0).Needed(), 1024u) << "an unstarted connected input keeps the old counts";
  sources[0].Send(Ramp(0, 1024));
  sources[1].Send(Ramp(0, 1024));
  EXPECT_EQ(sink.Blocks().size(), 1u) << "the unstarted input held the block back";
}

TEST_F(AddTest, StopEmptiesThatQueueStopsTheOutputAndTheNextStartAnnouncesAgain) {
  Connect(2);
  sources[0].Start(44100);
  sources[1].Start(44100);
  sources[0].Send(Ramp(0, 700));
  sources[1].Stop();
  EXPECT_EQ(Input(0).Queue().Available(), 700u);
  sources[0].Stop();
  EXPECT_EQ(Input(0).Queue().Available(), 0u);
  EXPECT_EQ(sink.Kinds(), (Kinds{"start", "stop", "stop"})) << "one stop per stopping input";

  // An inactive input keeps nothing of what it still receives.
  sources[1].Send(Ramp(-1, 1024));
  EXPECT_EQ(Input(1).Queue().Available(), 0u);
  sources[1].Start(11025);
  sources[0].Start(44100);
  ASSERT_EQ(sink.Kinds().size(), 4u);
  auto* start = OperationAs<TOWStartSampleRateOperation>(*sink.ops[3]);
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(start->BufferSize(), 1024);
  EXPECT_EQ(start->SampleRate(), 11025.0) << "announced with the first input's rate";
  EXPECT_EQ(Input(1).Needed(), 256u);
  sources[1].Send(Values(256, 2.0));
  sources[0].Send(Values(1024, 1.0));
  ASSERT_EQ(sink.Blocks().size(), 1u);
  EXPECT_EQ(sink.Blocks()[0], Values(1024, 3.0)) << "stale items were summed";
}

TEST_F(AddTest, InputPinsCountStaysWithinTwoAndAHundred) {
  const struct { int set, count; } cases[] = {{1, 2}, {150, 100}, {3, 3}, {-4, 2}};
  for (const auto& c : cases) {
    adder.InputPins().SetCount(c.set);
    EXPECT_EQ(adder.InputPins().Count(), c.count) << "set " << c.set;
    EXPECT_EQ(adder.Inputs().size(), static_cast<size_t>(c.count));
  }
}

TEST_F(AddTest, BufferSizeChangedWhileStartedTakesEffectAtOnce) {
  Connect(2);
  sources[0].Start(44100);
  sources[1].Start(44100);
  adder.SetBufferSize(512);
  EXPECT_EQ(Input(0).Needed(), 512u);
  EXPECT_EQ(Input(1).Needed(), 512u);
  sources[0].Send(Ramp(0, 512));
  sources[1].Send(Ramp(0, 512));
  ASSERT_EQ(sink.Blocks().size(), 1u);
  EXPECT_EQ(sink.Blocks()[0].size(), 512u);
  EXPECT_EQ(sink.Kinds(), (Kinds{"start", "buffer"})) << "the output is not announced again";

  adder.SetBufferSize(0);
  EXPECT_EQ(adder.BufferSize(), 1);
  adder.SetBufferSize(-10);
  EXPECT_EQ(adder.BufferSize(), 1);
  adder.SetBufferSize(INT32_MAX);
  EXPECT_EQ(adder.BufferSize(), TSLMultiInput::kMaxBufferSize);
}

TEST_F(AddTest, NoBlockWithoutAnActiveInputAndSilenceFromAnInputThatNeedsNothing) {
  Connect(1);
  sources[0].Send(Ramp(0, 2048));
  EXPECT_TRUE(sink.Blocks().empty());
  EXPECT_EQ(Input(0).Queue().Available(), 0u);
}

TEST_F(AddTest, UpstreamOperationsGoToEveryConnectedInput) {
  Connect(2);
  sink.InputPin.RequestMasterPump(&sink);
  EXPECT_EQ(sources[0].upstream, (Kinds{"other"}));
  EXPECT_EQ(sources[1].upstream, (Kinds{"other"}));

  // Nothing connected upstream: a start first asks for a pump downstream, then goes nowhere.
  sources[0].OutputPin.Disconnect();
  sources[1].OutputPin.Disconnect();
  sink.ops.clear();
  TRef<IOWNotifyOperation> start(new TOWStartSampleRateOperation(0, 44100));
  EXPECT_FALSE(sink.InputPin.Notify(*start));
  EXPECT_EQ(sink.Kinds(), (Kinds{"pumprequest"}));
  EXPECT_FALSE(Input(0).Active());
}

TEST(Add, DestructionDisconnectsEveryInputFirst) {
  TRealSource source;
  TRealSink sink;
  auto adder = std::make_unique<TSLAdd>(nullptr);
  ASSERT_TRUE(source.OutputPin.ConnectTo(adder->InputPins().Items(1)));
  ASSERT_TRUE(adder->OutputPin().ConnectTo(&sink.InputPin));
  source.Start(44100);
  source.Send(Ramp(0, 100));
  adder.reset();
  EXPECT_FALSE(source.OutputPin.IsConnected());
  EXPECT_EQ(sink.Kinds(), (Kinds{"start", "stop"}));
}

// Capture buffers of 8192 frames, each split into two channels: every buffer pair yields all
// of its eight blocks at once, so the queues never grow and the blocks follow the stream.
TEST(Add, LongStreamOfLargeBuffersKeepsTheQueuesBounded) {
  constexpr uint32_t kFrames = 8192;
  constexpr int kBuffers = 300;
  testing::TTestSource source;
  TALAudioToReal splitter(nullptr);
  TSLAdd adder(nullptr);
  TRealSink sink;
  ASSERT_TRUE(source.OutputPin.ConnectTo(&splitter.InputPin()));
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(splitter.OutputPins().Items(i)->ConnectTo(adder.InputPins().Items(i)));
  }
  ASSERT_TRUE(adder.OutputPin().ConnectTo(&sink.InputPin));
  source.Start(WaveFormat::Pcm(2, 16, 44100, 3));

  auto left = [](uint64_t frame) { return static_cast<int32_t>(frame % 20011) - 10000; };
  auto right = [](uint64_t frame) { return static_cast<int32_t>(frame * 7 % 30011) - 15000; };
  std::vector<int32_t> samples(kFrames * 2);
  uint64_t frame = 0;
  uint64_t nextItem = 0;  // of the summed stream, where the next block must start
  for (int b = 0; b < kBuffers; ++b) {
    for (uint32_t f = 0; f < kFrames; ++f, ++frame) {
      samples[2 * f] = left(frame);
      samples[2 * f + 1] = right(frame);
    }
    sink.ops.clear();
    source.Send(testing::AudioBuffer(samples, 2));
    for (const TSLOWQueuedRealSinkPin* input : adder.Inputs()) {
      ASSERT_LT(input->Queue().Available(), 1024u) << "a queue grew at buffer " << b;
    }
    const auto blocks = sink.Blocks();
    ASSERT_EQ(blocks.size(), kFrames / 1024) << "buffer " << b;
    for (const Values& block : blocks) {
      ASSERT_EQ(block.size(), 1024u);
      for (uint32_t k = 0; k < 1024; ++k, ++nextItem) {
        ASSERT_EQ(block[k], left(nextItem) + right(nextItem)) << "item " << nextItem;
      }
    }
  }
  EXPECT_EQ(nextItem, frame);
}

}  // namespace
}  // namespace tardivox
