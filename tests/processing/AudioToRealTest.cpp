#include "processing/AudioToReal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "processing/FilterTestSupport.h"
#include "processing/RealTestSupport.h"

namespace tardivox {
namespace {

using testing::TRealSink;
using Values = std::vector<double>;

const WaveFormat kStereo16 = WaveFormat::Pcm(2, 16, 44100, 3);

// audio source → splitter → one real sink per output.
class SplitterTest : public ::testing::Test {
 protected:
  void Connect(int outputs) {
    ASSERT_TRUE(source.OutputPin.ConnectTo(&splitter.InputPin()));
    for (int i = 0; i < outputs; ++i) {
      ASSERT_TRUE(splitter.OutputPins().Items(i)->ConnectTo(&sinks[i].InputPin));
    }
  }
  // A buffer of `frames` frames whose raw bytes are `bytes`, repeated.
  static TRef<IALAudioBuffer> Raw(uint32_t bits, uint32_t channels, uint32_t frames,
                                  const std::vector<uint8_t>& bytes) {
    TRef<IALAudioBuffer> buffer(
        new TALAudioBuffer(44100, bits, channels, frames, (1u << channels) - 1));
    uint8_t* data = buffer->WriteData();
    for (uint32_t i = 0; i < buffer->ByteSize(); ++i) data[i] = bytes[i % bytes.size()];
    return buffer;
  }

  testing::TTestSource source;
  TALAudioToReal splitter{nullptr};
  TRealSink sinks[3];
};

TEST_F(SplitterTest, StereoBufferGivesTheRawLeftAndRightSamples) {
  Connect(2);
  source.Start(kStereo16);
  std::vector<int32_t> samples;
  Values left, right;
  for (int f = 0; f < 512; ++f) {
    const int32_t l = f % 2 ? -32768 + f : 32767 - f;
    const int32_t r = f * 61 - 15000;
    samples.insert(samples.end(), {l, r});
    left.push_back(l);
    right.push_back(r);
  }
  source.Send(testing::AudioBuffer(samples, 2));
  ASSERT_EQ(sinks[0].Blocks().size(), 1u);
  ASSERT_EQ(sinks[1].Blocks().size(), 1u);
  EXPECT_EQ(sinks[0].Blocks()[0], left);
  EXPECT_EQ(sinks[1].Blocks()[0], right);
  EXPECT_EQ(sinks[0].Kinds(), (std::vector<std::string>{"start", "buffer"}));
}

TEST_F(SplitterTest, SampleValuesAtEveryWidthUnscaled) {
  const struct {
    uint32_t bits;
    std::vector<uint8_t> bytes;  // one mono frame after the other
    Values values;
  } cases[] = {
      {8, {127, 128, 0, 255}, {0.0, 1.0, -127.0, 128.0}},
      {16, {0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF}, {-32768.0, 32767.0, -1.0}},
      {24, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00}, {-8388608.0, 8388607.0, 1.0}},
      {32, {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F}, {-2147483648.0, 2147483647.0}},
  };
  Connect(1);
  splitter.SetCountChannels(1);
  for (const auto& c : cases) {
    source.Start(WaveFormat::Pcm(1, static_cast<uint16_t>(c.bits), 44100, 1));
    source.Send(Raw(c.bits, 1, static_cast<uint32_t>(c.values.size()), c.bytes));
    ASSERT_FALSE(sinks[0].Blocks().empty());
    EXPECT_EQ(sinks[0].Blocks().back(), c.values) << c.bits << " bits";
  }
}

TEST_F(SplitterTest, UnconnectedOutputGetsNothingThenTheRememberedStart) {
  ASSERT_TRUE(source.OutputPin.ConnectTo(&splitter.InputPin()));
  ASSERT_TRUE(splitter.OutputPins().Items(0)->ConnectTo(&sinks[0].InputPin));
  source.Start(kStereo16);
  source.Send(testing::AudioBuffer({1, 2, 3, 4}, 2));
  EXPECT_EQ(sinks[1].ops.size(), 0u);

  ASSERT_TRUE(splitter.OutputPins().Items(1)->ConnectTo(&sinks[1].InputPin));
  ASSERT_GE(sinks[1].ops.size(), 1u);
  for (const auto& op : sinks[1].ops) {
    auto* start = OperationAs<TOWStartSampleRateOperation>(*op);
    ASSERT_NE(start, nullptr);
    EXPECT_FALSE(OperationIs<TOWStartWaveOperation>(*op));
    EXPECT_EQ(start->BufferSize(), 0);
    EXPECT_EQ(start->SampleRate(), 44100.0);
  }
  source.Send(testing::AudioBuffer({5, 6}, 2));
  EXPECT_EQ(sinks[1].Blocks(), (std::vector<Values>{{6.0}}));
}

TEST_F(SplitterTest, StartIsOneObjectPerOutputStopAndResumeOneShared) {
  Connect(2);
  source.Start(kStereo16);
  EXPECT_NE(sinks[0].ops[0].get(), sinks[1].ops[0].get());
  TRef<IOWNotifyOperation> resume(new TOWSLResumeOperation);
  source.OutputPin.Notify(*resume);
  source.OutputPin.SendEndStop();
  for (const TRealSink& sink : {std::cref(sinks[0]), std::cref(sinks[1])}) {
    EXPECT_EQ(sink.Kinds(), (std::vector<std::string>{"start", "resume", "stop"}));
  }
  EXPECT_EQ(sinks[0].ops[1].get(), sinks[1].ops[1].get()) << "resume";
  EXPECT_EQ(sinks[0].ops[2].get(), sinks[1].ops[2].get()) << "stop";
  EXPECT_NE(sinks[0].ops[1].get(), resume.get()) << "the splitter sends its own resume";
  EXPECT_FALSE(OperationIs<TOWEndStopOperation>(*sinks[0].ops[2])) << "a plain stop";
}

TEST_F(SplitterTest, CountChannelsIsBroughtIntoRangeAndDestroysSurplusPins) {
  Connect(2);
  const struct { int32_t set, count; } cases[] = {{0, 1}, {40, 32}, {-5, 1}, {3, 3}};
  for (const auto& c : cases) {
    splitter.SetCountChannels(c.set);
    EXPECT_EQ(splitter.CountChannels(), c.count) << "set " << c.set;
  }
  splitter.SetCountChannels(2);
  ASSERT_TRUE(splitter.OutputPins().Items(1)->ConnectTo(&sinks[1].InputPin));
  splitter.SetCountChannels(1);
  EXPECT_EQ(splitter.OutputPins().Count(), 1);
  EXPECT_FALSE(sinks[1].InputPin.IsConnected()) << "the second pin was not destroyed";
}

// Outputs beyond the frames' channels, and a buffer that disagrees with the announced format,
// never read outside the buffer: missing channels give silence of the buffer's length.
TEST_F(SplitterTest, MissingChannelsGiveSilenceAndBuffersAreReadByTheirOwnLayout) {
  splitter.SetCountChannels(3);
  Connect(3);
  source.Send(testing::AudioBuffer({1, 2}, 2));
  EXPECT_TRUE(sinks[0].Blocks().empty()) << "a buffer before any start produces nothing";

  source.Start(kStereo16);
  source.Send(testing::AudioBuffer({1, 2, 3, 4}, 2));
  EXPECT_EQ(sinks[0].Blocks().back(), (Values{1, 3}));
  EXPECT_EQ(sinks[1].Blocks().back(), (Values{2, 4}));
  EXPECT_EQ(sinks[2].Blocks().back(), (Values{0, 0}));

  // Mono 8-bit frames while the stream was announced stereo 16-bit.
  source.Send(Raw(8, 1, 3, {130, 127, 120}));
  EXPECT_EQ(sinks[0].Blocks().back(), (Values{3, 0, -7}));
  EXPECT_EQ(sinks[1].Blocks().back(), (Values{0, 0, 0}));

  // A start-wave whose block align cannot hold its channels.
  WaveFormat broken = kStereo16;
  broken.blockAlign = 2;
  source.Start(broken);
  source.Send(testing::AudioBuffer({7, 8}, 2));
  EXPECT_EQ(sinks[1].Blocks().back(), (Values{8})) << "read with the buffer's own layout";
}

TEST_F(SplitterTest, UpstreamOperationsGoThroughTheInputOrAreHandledThere) {
  Connect(2);
  sinks[0].InputPin.RequestMasterPump(&sinks[0]);
  EXPECT_EQ(source.upstream, (std::vector<std::string>{"masterpump"}));

  source.OutputPin.Disconnect();
  TRef<IOWNotifyOperation> start(new TOWStartWaveOperation(kStereo16, 1.0f));
  EXPECT_FALSE(sinks[1].InputPin.Notify(*start));
  EXPECT_EQ(splitter.StreamFormat().channels, 2u) << "handled as if it came to the input";
  EXPECT_EQ(sinks[0].Kinds().back(), "start");
}

TEST(Splitter, DestructionDisconnectsTheInputThenStopsEveryOutput) {
  testing::TTestSource source;
  TRealSink sink;
  auto splitter = std::make_unique<TALAudioToReal>(nullptr);
  ASSERT_TRUE(source.OutputPin.ConnectTo(&splitter->InputPin()));
  ASSERT_TRUE(splitter->OutputPins().Items(0)->ConnectTo(&sink.InputPin));
  source.Start(kStereo16);
  splitter.reset();
  EXPECT_FALSE(source.OutputPin.IsConnected());
  EXPECT_FALSE(sink.InputPin.IsConnected());
  ASSERT_GE(sink.Kinds().size(), 2u);
  EXPECT_EQ(sink.Kinds().back(), "stop");
}

TEST(Splitter, PlaceholdersLeftByLoadingAreDroppedWhenItEnds) {
  TALAudioToReal splitter(nullptr);
  splitter.BeginLoading();
  splitter.OutputPins().EnsureItem(3);
  EXPECT_EQ(splitter.OutputPins().PlaceholderCount(), 2);
  EXPECT_EQ(splitter.CountChannels(), 2);
  splitter.Loaded();
  EXPECT_EQ(splitter.OutputPins().PlaceholderCount(), 0);
  EXPECT_EQ(splitter.OutputPins().RawCount(), 2);
}

}  // namespace
}  // namespace tardivox
