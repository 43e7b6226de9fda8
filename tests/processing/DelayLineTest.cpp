#include "processing/DelayLine.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "buffers/IntegerBuffer.h"
#include "processing/DelayReference.h"
#include "processing/FilterTestSupport.h"

namespace tardivox {
namespace {

using testing::AudioBuffer;
using testing::FormatOf;
using testing::Samples;
using Frames = std::vector<int32_t>;

const WaveFormat kMono16 = WaveFormat::Pcm(1, 16, 44100, 1);
const WaveFormat kStereo16 = WaveFormat::Pcm(2, 16, 44100, 3);

// source → delay line → sink, started in `format` with `delay` frames.
class DelayLineChain : public ::testing::Test {
 protected:
  void Build(uint32_t delay, const WaveFormat& format = kMono16) {
    line.SetDelay(delay);
    ASSERT_TRUE(source.OutputPin.ConnectTo(&line.InputPin()));
    ASSERT_TRUE(line.OutputPin().ConnectTo(&sink.InputPin));
    source.Start(format);
  }
  // Sends one mono buffer and answers what came out (empty when nothing did).
  Frames Pass(const Frames& input, uint32_t channels = 1) {
    const size_t before = sink.buffers.size();
    source.Send(AudioBuffer(input, channels));
    if (sink.buffers.size() == before) return {};
    return Samples(*sink.buffers.back());
  }
  Frames History() {
    TRef<IALAudioBuffer> history = line.History();
    return history ? Samples(*history) : Frames{};
  }

  testing::TTestSource source;
  TALDelayLine line{nullptr};
  testing::TTestSink sink;
};

TEST_F(DelayLineChain, WorkedExampleOfThreeFrames) {
  Build(3);
  EXPECT_EQ(History(), (Frames{0, 0, 0}));
  struct Step {
    Frames input, output, history;
  };
  const std::vector<Step> steps = {
      {{1, 2, 3, 4, 5}, {0, 0, 0, 1, 2}, {3, 4, 5}},
      {{6, 7}, {3, 4}, {5, 6, 7}},
      {{8, 9, 10}, {5, 6, 7}, {8, 9, 10}},
      {{11}, {8}, {9, 10, 11}},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(Pass(step.input), step.output);
    EXPECT_EQ(History(), step.history);
  }
  // Each output has its input's frame count and format.
  ASSERT_EQ(sink.buffers.size(), 4u);
  EXPECT_TRUE(FormatOf(*sink.buffers[1]) == kMono16);
}

TEST_F(DelayLineChain, ZeroDelaySendsTheInputItself) {
  Build(0);
  TRef<IALAudioBuffer> input = AudioBuffer({4, -5, 6, -7}, 2);
  source.Send(input);
  ASSERT_EQ(sink.buffers.size(), 1u);
  EXPECT_EQ(Samples(*sink.buffers[0]), (Frames{4, -5, 6, -7}));
  EXPECT_EQ(sink.buffers[0]->ReadData(), input->ReadData()) << "a copy was made";
}

TEST_F(DelayLineChain, NewDelayStartsWithSilenceAtTheNextBuffer) {
  Build(3);
  EXPECT_EQ(Pass({1, 2, 3, 4, 5}), (Frames{0, 0, 0, 1, 2}));
  line.SetDelay(2);
  EXPECT_EQ(line.Delay(), 2u);
  EXPECT_EQ(History(), (Frames{3, 4, 5})) << "the history changes only with the next buffer";
  EXPECT_EQ(Pass({6, 7}), (Frames{0, 0}));
  EXPECT_EQ(Pass({8, 9, 10}), (Frames{6, 7, 8}));
}

TEST_F(DelayLineChain, EveryEnabledAssignmentRestartsWithSilence) {
  Build(3);
  Pass({1, 2, 3, 4});
  line.SetEnabled(true);  // unchanged value, still a reset
  EXPECT_EQ(History(), (Frames{0, 0, 0}));
  EXPECT_EQ(Pass({5, 6}), (Frames{0, 0}));

  // Off: outputs equal inputs and the history is left as it was.
  line.SetEnabled(false);
  const Frames before = History();
  EXPECT_EQ(Pass({7, 8, 9, 10}), (Frames{7, 8, 9, 10}));
  EXPECT_EQ(Pass({11}), (Frames{11}));
  EXPECT_EQ(History(), before);

  // On again: D frames of silence, then what came in after the switch.
  line.SetEnabled(true);
  EXPECT_EQ(Pass({12, 13}), (Frames{0, 0}));
  EXPECT_EQ(Pass({14, 15, 16}), (Frames{0, 12, 13}));
}

TEST_F(DelayLineChain, DisabledLinePassesTheInputBufferWithoutCopying) {
  Build(3);
  line.SetEnabled(false);
  TRef<IALAudioBuffer> input = AudioBuffer({1, 2});
  source.Send(input);
  ASSERT_EQ(sink.buffers.size(), 1u);
  EXPECT_EQ(sink.buffers[0]->ReadData(), input->ReadData());
}

TEST_F(DelayLineChain, UnconnectedOutputDropsBuffersWithoutTouchingTheHistory) {
  Build(3);
  Pass({1, 2, 3, 4});
  sink.InputPin.Disconnect();
  EXPECT_FALSE(source.Send(AudioBuffer({5, 6, 7})));
  EXPECT_EQ(History(), (Frames{2, 3, 4}));
  ASSERT_TRUE(line.OutputPin().ConnectTo(&sink.InputPin));
  EXPECT_EQ(Pass({5}), (Frames{2}));
}

TEST_F(DelayLineChain, StartWaveResetsToSilenceInTheNewFormat) {
  Build(3, kStereo16);
  Pass({1, -1, 2, -2, 3, -3, 4, -4}, 2);
  const WaveFormat mono24 = WaveFormat::Pcm(1, 24, 22050, 4);
  source.Start(mono24);
  TRef<IALAudioBuffer> history = line.History();
  ASSERT_TRUE(history);
  EXPECT_TRUE(FormatOf(*history) == mono24);
  EXPECT_EQ(Samples(*history), (Frames{0, 0, 0}));
  EXPECT_EQ(sink.kinds.front(), "startwave");
  EXPECT_EQ(sink.kinds.back(), "startwave") << "the start-wave is sent on";

  TRef<IALAudioBuffer> input = AudioBuffer({100, 200, 300, 400}, 1, 24, 4, 22050);
  source.Send(input);
  EXPECT_EQ(Samples(*sink.buffers.back()), (Frames{0, 0, 0, 100}));
  EXPECT_TRUE(FormatOf(*sink.buffers.back()) == mono24);
}

// An input of exactly D frames kept by its sender and written afterwards (copy-on-write):
// the later output still holds what was sent.
TEST_F(DelayLineChain, InputOfDelayFramesWrittenLaterByItsSenderDoesNotChangeTheOutput) {
  Build(3);
  TRef<IALAudioBuffer> kept = AudioBuffer({1, 2, 3});
  source.Send(kept);
  kept->SetSample(0, 0, 99);
  kept->Fill(77);
  EXPECT_EQ(Pass({4, 5, 6}), (Frames{1, 2, 3}));
}

TEST_F(DelayLineChain, BufferBeforeAnyStartUsesItsOwnFormat) {
  line.SetDelay(2);
  ASSERT_TRUE(source.OutputPin.ConnectTo(&line.InputPin()));
  ASSERT_TRUE(line.OutputPin().ConnectTo(&sink.InputPin));
  EXPECT_EQ(line.History(), nullptr);
  EXPECT_EQ(Pass({1, -1, 2, -2, 3, -3}, 2), (Frames{0, 0, 0, 0, 1, -1}));
}

// A buffer whose channels differ from the stream's is delayed channel by channel as the
// speaker positions pair them; channels the stream does not carry come out silent.
TEST_F(DelayLineChain, BufferOfAnotherLayoutIsPairedBySpeakerPosition) {
  Build(2, kStereo16);
  Pass({1, -1, 2, -2}, 2);  // history: (1,-1) (2,-2)
  // Front left only, 24 bits: paired with the stream's left channel, converted on the way in
  // and out (full scale survives both conversions exactly).
  constexpr int32_t kFull24 = 8388607;
  source.Send(AudioBuffer({kFull24, 0, kFull24}, 1, 24, 1));
  EXPECT_EQ(Samples(*sink.buffers.back()), (Frames{256 * 1, 256 * 2, kFull24}));
  EXPECT_EQ(History(), (Frames{0, 0, 32767, 0}));
  // Front left and front centre: the centre is not in the stream.
  source.Send(AudioBuffer({6, 60, 7, 70}, 2, 16, 1 | 4));
  EXPECT_EQ(Samples(*sink.buffers.back()), (Frames{0, 0, 32767, 0}));
  EXPECT_EQ(History(), (Frames{6, 0, 7, 0}));
}

TEST_F(DelayLineChain, TooLongDelayIsRefusedAndTheLineRecovers) {
  Build(3, kStereo16);
  line.SetDelay(0xFFFFFFFFu);
  EXPECT_FALSE(source.Send(AudioBuffer({1, 1, 2, 2}, 2)));
  EXPECT_TRUE(sink.buffers.empty());
  line.SetDelay(1);
  EXPECT_EQ(Pass({3, 3, 4, 4}, 2), (Frames{0, 0, 3, 3}));
}

TEST_F(DelayLineChain, ControlOperationsTravelBothWays) {
  Build(3);
  TRef<IOWNotifyOperation> resume(new TOWSLResumeOperation());
  source.OutputPin.Notify(*resume);
  source.OutputPin.SendEndStop();
  EXPECT_EQ(sink.kinds, (std::vector<std::string>{"startwave", "resume", "endstop"}));

  sink.InputPin.RequestMasterPump(&sink);
  TRef<IOWNotifyOperation> pause(new TOWSLPauseOperation());
  sink.InputPin.Notify(*pause);
  EXPECT_EQ(source.upstream, (std::vector<std::string>{"masterpump", "other"}));

  // Without a connected input, an operation from downstream is handled as if it came in.
  source.OutputPin.Disconnect();
  sink.kinds.clear();
  sink.InputPin.Notify(*resume);
  EXPECT_EQ(sink.kinds, (std::vector<std::string>{"resume"}));
}

TEST_F(DelayLineChain, BufferThatIsNotAudioIsRefused) {
  Build(3);
  TRef<ISLDataBuffer> integers(new TSLIntegerBuffer(4));
  EXPECT_FALSE(source.OutputPin.SendBuffer(integers));
  EXPECT_TRUE(sink.buffers.empty());
  EXPECT_EQ(Pass({1, 2, 3, 4}), (Frames{0, 0, 0, 1}));
}

// Destroying the line disconnects its input first: the stop its source sends goes on to the
// sinks, and nothing is delivered to the destroyed line afterwards.
TEST(DelayLine, DestructionPassesTheStopOfItsInputOn) {
  testing::TTestSource source;
  testing::TTestSink sink;
  auto* line = new TALDelayLine(nullptr);
  ASSERT_TRUE(source.OutputPin.ConnectTo(&line->InputPin()));
  ASSERT_TRUE(line->OutputPin().ConnectTo(&sink.InputPin));
  source.Start(kMono16);
  delete line;
  EXPECT_EQ(sink.kinds, (std::vector<std::string>{"startwave", "stop"}));
  EXPECT_FALSE(sink.InputPin.IsConnected());
  EXPECT_FALSE(source.Send(AudioBuffer({1})));
}

TEST(DelayLine, DefaultsAndPublishedProperties) {
  TALDelayLine line(nullptr);
  EXPECT_EQ(line.Delay(), 25u);
  EXPECT_TRUE(line.Enabled());
  EXPECT_EQ(line.History(), nullptr);
  line.SetPropertyValue("Delay", int64_t{88200});
  line.SetPropertyValue("Enabled", false);
  EXPECT_EQ(line.Delay(), 88200u);
  EXPECT_FALSE(line.Enabled());
  EXPECT_EQ(line.FindProperty("InputPin")->object, &line.InputPin());
  // A value received on the enable pin is assigned to Enabled.
  TRef<IOWNotifyOperation> on(new TOWSuppliedBoolOperation(true));
  line.EnablePin().Receive(Guid(), *on, 0);
  EXPECT_TRUE(line.Enabled());
}

// The loop check of the pin framework sees the filter's input behind its output.
TEST(DelayLine, RefusesToFeedItself) {
  TALDelayLine a(nullptr), b(nullptr);
  EXPECT_FALSE(a.OutputPin().ConnectTo(&a.InputPin()));
  ASSERT_TRUE(a.OutputPin().ConnectTo(&b.InputPin()));
  EXPECT_FALSE(b.OutputPin().ConnectTo(&a.InputPin()));
}

// Millions of frames through real pins in random buffer sizes, with random Delay changes and
// Enabled assignments between buffers, compared frame by frame with the plain queue model.
struct RandomChainCase {
  const char* name;
  uint16_t channels;
  uint16_t bits;
};

class DelayLineRandom : public ::testing::TestWithParam<RandomChainCase> {};

TEST_P(DelayLineRandom, MatchesTheReferenceQueue) {
  const RandomChainCase c = GetParam();
  const WaveFormat format = WaveFormat::Pcm(c.channels, c.bits, 44100, (1u << c.channels) - 1);
  const uint32_t bytesPerFrame = format.blockAlign;
  const uint8_t silence = c.bits <= 8 ? 127 : 0;
  std::mt19937 random(977u + c.bits);
  auto pick = [&](uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random);
  };
  auto newDelay = [&]() -> uint32_t {
    switch (pick(0, 4)) {
      case 0:
        return 0;
      case 1:
        return pick(1, 16);
      case 2:
        return pick(1, 8192);
      case 3:
        return pick(8192, 50000);
      default:
        return pick(88200, 250000);
    }
  };

  testing::TTestSource source;
  TALDelayLine line(nullptr);
  testing::TTestSink sink;
  sink.keepBuffers = false;
  ASSERT_TRUE(source.OutputPin.ConnectTo(&line.InputPin()));
  ASSERT_TRUE(line.OutputPin().ConnectTo(&sink.InputPin));

  testing::DelayReference reference;
  uint32_t delay = newDelay();
  line.SetDelay(delay);
  source.Start(format);
  reference.Reset(delay, bytesPerFrame, silence);
  bool enabled = true, rebuildPending = false;

  uint64_t frames = 0;
  for (int step = 0; frames < 2'500'000; ++step) {
    const uint32_t roll = pick(0, 99);
    if (roll < 4) {
      delay = newDelay();
      line.SetDelay(delay);
      rebuildPending = true;
    } else if (roll < 8) {
      enabled = pick(0, 2) != 0;
      line.SetEnabled(enabled);
      reference.Clear();
    } else if (roll < 9) {
      source.Start(format);
      reference.Reset(delay, bytesPerFrame, silence);
      rebuildPending = false;
    }
    uint32_t n = pick(0, 3) == 0 ? pick(1, 64) : pick(1, 8192);
    if (pick(0, 9) == 0 && delay >= 1 && delay <= 8192) n = delay;
    TRef<IALAudioBuffer> input(
        new TALAudioBuffer(44100, c.bits, c.channels, n, format.channelMask));
    uint8_t* bytes = input->WriteData();
    for (uint32_t i = 0; i < input->ByteSize(); ++i) bytes[i] = static_cast<uint8_t>(random());
    const std::vector<uint8_t> in(bytes, bytes + input->ByteSize());
    frames += n;

    std::vector<uint8_t> expected = in;
    if (enabled) {
      if (rebuildPending) reference.Reset(delay, bytesPerFrame, silence);
      rebuildPending = false;
      expected = reference.Process(in);
    }
    source.Send(input);
    ASSERT_TRUE(sink.last) << "nothing came out at step " << step;
    ASSERT_EQ(sink.last->Count(), n);
    const uint8_t* out = sink.last->ReadData();
    ASSERT_EQ(std::vector<uint8_t>(out, out + sink.last->ByteSize()), expected)
        << "step " << step << ", delay " << delay << ", n " << n << ", enabled " << enabled;
    sink.last = nullptr;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DelayLineRandom,
                         ::testing::Values(RandomChainCase{"Stereo16", 2, 16},
                                           RandomChainCase{"Mono24", 1, 24},
                                           RandomChainCase{"Stereo8", 2, 8}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tardivox
