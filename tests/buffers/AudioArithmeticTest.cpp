#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "buffers/AudioBuffer.h"
#include "buffers/BlockBuffer.h"

namespace tardivox {
namespace {

TRef<IALAudioBuffer> Audio(uint32_t bits, uint32_t channels, uint32_t frames,
                           TALSpeakers mask = 3) {
  return TRef<IALAudioBuffer>(new TALAudioBuffer(44100, bits, channels, frames, mask));
}

// A sample as a signed value whatever its width (GetSample reads 24 bits unsigned).
int32_t Signed(IALAudioBuffer* buffer, uint32_t frame, uint32_t channel) {
  const int32_t raw = buffer->GetSample(frame, channel);
  if (buffer->ContainerBits() == 24 && raw >= 0x800000) return raw - 0x1000000;
  return raw;
}

TEST(AudioFill, WritesTheLowBitsOfTheValueAtEveryWidth) {
  TRef<IALAudioBuffer> bytes = Audio(8, 2, 3);
  bytes->Fill(0);
  for (uint32_t i = 0; i < bytes->ByteSize(); ++i) EXPECT_EQ(bytes->ReadData()[i], 127);
  bytes->Fill(-127);
  EXPECT_EQ(bytes->GetSample(2, 1), 0);

  TRef<IALAudioBuffer> wide = Audio(24, 2, 3);
  wide->Fill(1193046);  // 0x123456
  for (uint32_t i = 0; i < wide->ByteSize(); i += 3) {
    EXPECT_EQ(wide->ReadData()[i], 0x56);
    EXPECT_EQ(wide->ReadData()[i + 1], 0x34);
    EXPECT_EQ(wide->ReadData()[i + 2], 0x12);
  }
  TRef<IALAudioBuffer> shorts = Audio(16, 1, 2, 1);
  shorts->Fill(0x12345);
  EXPECT_EQ(shorts->GetSample(1, 0), 0x2345);
  TRef<IALAudioBuffer> words = Audio(32, 1, 2, 1);
  words->Fill(-9);
  EXPECT_EQ(words->GetSample(1, 0), -9);
}

// The low byte of value + 127 for every value, the extremes included (no signed overflow).
TEST(AudioFill, EightBitsWrapTheLowByteOfValuePlus127) {
  const struct {
    int32_t value;
    uint8_t byte;
  } cases[] = {
      {0, 127},    {1, 128},         {128, 255},           {129, 0},         {-127, 0},
      {-128, 255}, {INT32_MAX, 126}, {INT32_MAX - 126, 0}, {INT32_MIN, 127}, {INT32_MIN + 1, 128}};
  TRef<IALAudioBuffer> bytes = Audio(8, 2, 3);
  for (const auto& c : cases) {
    bytes->Fill(c.value);
    for (uint32_t i = 0; i < bytes->ByteSize(); ++i) {
      ASSERT_EQ(bytes->ReadData()[i], c.byte) << "Fill(" << c.value << ")";
    }
  }
}

TEST(AudioScale, RoundsToEvenWithoutSaturation) {
  TRef<IALAudioBuffer> shorts = Audio(16, 1, 3, 1);
  shorts->SetSample(0, 0, 20000);
  shorts->SetSample(1, 0, 3);
  shorts->SetSample(2, 0, 5);
  shorts->Scale(2.0);
  EXPECT_EQ(shorts->GetSample(0, 0), -25536);
  shorts->Scale(0.5);
  EXPECT_EQ(shorts->GetSample(1, 0), 3);
  EXPECT_EQ(shorts->GetSample(2, 0), 5);

  TRef<IALAudioBuffer> bytes = Audio(8, 2, 2);
  bytes->Clear();
  bytes->Scale(0.5);
  EXPECT_EQ(bytes->GetSample(1, 1), 64);  // 63.5 rounds to even
  bytes->Scale(0);
  EXPECT_EQ(bytes->GetSample(0, 0), 0);

  TRef<IALAudioBuffer> wide = Audio(24, 1, 1, 1);
  wide->SetSample(0, 0, 5000000);
  wide->Scale(2.0);  // 10000000 kept to 24 bits by the store rule
  EXPECT_EQ(wide->GetSample(0, 0), 10000000 & 0xFFFFFF);
}

TEST(AudioArithmetic, CombinesSamplesByWidth) {
  const struct {
    uint32_t bits;
    int32_t a, b;
    int32_t add, subtract, multiply, divide;
  } cases[] = {
      {8, 200, 100, 173, 227, (73 * -27 + 127) & 0xFF, 127 + 73 / -27},
      {8, 10, 127, 10, 10, 127, 127},  // dividing by 8-bit silence gives silence
      {16, 30000, 10000, 32767, 20000, 32767, 3},
      {16, -30000, 10000, -20000, -32768, -32768, -3},
      {16, 100, 0, 100, 100, 0, 32767},
      {16, -100, 0, -100, -100, 0, -32768},
      {16, 0, 0, 0, 0, 0, 0},
      {24, 8000000, 1000000, 9000000 - 16777216, 7000000, 0, 8},
      {24, -7, 2, -5, -9, -14, -3},
      {24, 5, 0, 5, 5, 0, 8388607},
      {32, INT32_MAX, 1, INT32_MIN, INT32_MAX - 1, INT32_MAX, INT32_MAX},
      {32, -9, 0, -9, -9, 0, INT32_MIN},
  };
  for (const auto& c : cases) {
    auto run = [&](auto op) {
      TRef<IALAudioBuffer> a = Audio(c.bits, 1, 2, 1);
      TRef<IALAudioBuffer> b = Audio(c.bits, 1, 2, 1);
      a->SetSample(1, 0, c.a);
      b->SetSample(1, 0, c.b);
      op(a.get(), b.get());
      return Signed(a.get(), 1, 0);
    };
    SCOPED_TRACE(testing::Message() << c.bits << " bits: " << c.a << ", " << c.b);
    EXPECT_EQ(run([](auto* a, auto* b) { a->Add(b); }), c.add);
    EXPECT_EQ(run([](auto* a, auto* b) { a->Subtract(b); }), c.subtract);
    if (c.bits != 24 || c.a != 8000000) {  // 24-bit products wrap: checked below
      EXPECT_EQ(run([](auto* a, auto* b) { a->Multiply(b); }), c.multiply);
    }
    EXPECT_EQ(run([](auto* a, auto* b) { a->Divide(b); }), c.divide);
  }
}

TEST(AudioArithmetic, MonoOtherIsCombinedWithEveryChannel) {
  TRef<IALAudioBuffer> stereo = Audio(16, 2, 3);
  TRef<IALAudioBuffer> mono = Audio(16, 1, 3, 4);  // its position does not matter
  stereo->Fill(10);
  mono->Fill(5);
  stereo->Add(mono.get());
  for (uint32_t f = 0; f < 3; ++f) {
    EXPECT_EQ(stereo->GetSample(f, 0), 15);
    EXPECT_EQ(stereo->GetSample(f, 1), 15);
  }
}

TEST(AudioArithmetic, ChannelsArePairedBySpeakerPosition) {
  TRef<IALAudioBuffer> self = Audio(16, 3, 2, 0b111);
  TRef<IALAudioBuffer> other = Audio(16, 2, 2, 0b101);
  self->Fill(100);
  for (uint32_t f = 0; f < 2; ++f) {
    other->SetSample(f, 0, 1);
    other->SetSample(f, 1, 2);
  }
  self->Add(other.get());
  EXPECT_EQ(self->GetSample(1, 0), 101);
  EXPECT_EQ(self->GetSample(1, 1), 100);
  EXPECT_EQ(self->GetSample(1, 2), 102);
}

TEST(AudioArithmetic, WorksOverTheSmallerFrameCount) {
  TRef<IALAudioBuffer> longer = Audio(16, 2, 5);
  TRef<IALAudioBuffer> shorter = Audio(16, 2, 2);
  longer->Fill(1);
  shorter->Fill(1);
  longer->Add(shorter.get());
  EXPECT_EQ(longer->GetSample(1, 1), 2);
  EXPECT_EQ(longer->GetSample(2, 0), 1);
  shorter->Add(longer.get());
  EXPECT_EQ(shorter->GetSample(1, 1), 3);
}

TEST(AudioArithmetic, OtherWidthsAreConvertedFirst) {
  TRef<IALAudioBuffer> shorts = Audio(16, 1, 2, 1);
  TRef<IALAudioBuffer> bytes = Audio(8, 1, 2, 1);
  shorts->Fill(0);
  bytes->SetSample(0, 0, 255);
  bytes->SetSample(1, 0, 0);
  shorts->Add(bytes.get());
  EXPECT_EQ(shorts->GetSample(0, 0), 32767);
  EXPECT_EQ(shorts->GetSample(1, 0), -32768);
  TRef<IALAudioBuffer> wide = Audio(32, 1, 600, 1);  // more than one conversion batch
  wide->Fill(1 << 20);
  TRef<IALAudioBuffer> narrow = Audio(16, 1, 600, 1);
  narrow->Fill(1);
  wide->Add(narrow.get());
  EXPECT_EQ(wide->GetSample(599, 0), (1 << 20) + 65538);
}

TEST(AudioCopyTo, PairsChannelsBySpeakerMask) {
  struct Case {
    TALSpeakers fromMask;
    uint32_t fromChannels;
    TALSpeakers toMask;
    uint32_t toChannels;
    std::vector<int32_t> expected;  // destination channels after the copy (-1: untouched)
  };
  const Case cases[] = {
      {3, 2, 1, 1, {10}},
      {1, 1, 2, 1, {-1}},
      {0b111, 3, 0b101, 2, {10, 12}},
      {0b101, 2, 0b111, 3, {10, -1, 11}},
      {0b110, 2, 0b011, 2, {-1, 10}},
      {0b11, 1, 0b11, 2, {10, -1}},  // the mask names a position the buffer has no channel for
  };
  for (const auto& c : cases) {
    TRef<IALAudioBuffer> from = Audio(16, c.fromChannels, 4, c.fromMask);
    TRef<IALAudioBuffer> to = Audio(16, c.toChannels, 4, c.toMask);
    for (uint32_t ch = 0; ch < c.fromChannels; ++ch) {
      for (uint32_t f = 0; f < 4; ++f) from->SetSample(f, ch, 10 + static_cast<int32_t>(ch));
    }
    to->Fill(-1);
    from->CopyTo(0, to.get(), 0, 4);
    for (uint32_t ch = 0; ch < c.toChannels; ++ch) {
      EXPECT_EQ(to->GetSample(3, ch), c.expected[ch])
          << "masks " << c.fromMask << " -> " << c.toMask << ", channel " << ch;
    }
  }
}

TEST(AudioCopyTo, OffsetsAndCountAreClampedToBothBuffers) {
  TRef<IALAudioBuffer> from = Audio(16, 2, 6);
  TRef<IALAudioBuffer> to = Audio(16, 2, 4);
  for (uint32_t f = 0; f < 6; ++f) from->SetSample(f, 0, static_cast<int32_t>(f));
  to->Fill(-1);
  from->CopyTo(2, to.get(), 1, 1000);
  EXPECT_EQ(to->GetSample(0, 0), -1);
  EXPECT_EQ(to->GetSample(1, 0), 2);
  EXPECT_EQ(to->GetSample(3, 0), 4);
  from->CopyTo(6, to.get(), 0, 1);
  from->CopyTo(0, to.get(), 4, 1);
  EXPECT_EQ(to->GetSample(0, 0), -1);

  // Into a buffer of another kind the copy counts bytes of the frame area.
  TRef<ISLBlockBuffer> bytes(new TSLBlockBuffer(6));
  from->CopyTo(0, bytes.get(), 0, 100);
  EXPECT_EQ(std::memcmp(bytes->ReadData(), from->ReadData(), 6), 0);
}

TEST(AudioCopyTo, ConvertsEveryWidthPairAtItsBoundaries) {
  const struct {
    uint32_t from, to;
    int32_t sample, expected;
  } cases[] = {
      {8, 16, 0, -32768},
      {8, 16, 128, 128},
      {8, 16, 255, 32767},
      {8, 16, 127, -129},
      {8, 24, 0, -8388607},
      {8, 24, 127, 0},
      {8, 24, 128, 66052},
      {8, 24, 255, 8388607},
      {8, 32, 0, INT32_MIN},
      {8, 32, 255, INT32_MAX},
      {8, 32, 128, 8421504},
      {16, 8, -32768, 0},
      {16, 8, 0, 128},
      {16, 8, 32767, 255},
      {16, 8, -1, 128},
      {16, 24, -1, -256},
      {16, 24, 32767, 8388607},
      {16, 24, -32768, -8388608},
      {16, 32, 32767, INT32_MAX},
      {16, 32, 1, 65538},
      {16, 32, -32768, INT32_MIN},
      {24, 8, 8388607, 254},
      {24, 8, -8388608, 0},
      {24, 8, 0, 127},
      {24, 16, -8388608, -32767},
      {24, 16, 8388607, 32767},
      {24, 32, 8388607, INT32_MAX},
      {24, 32, -8388608, INT32_MIN},
      {32, 8, INT32_MAX, 255},
      {32, 8, INT32_MIN, 0},
      {32, 8, 0, 128},
      {32, 16, INT32_MAX, 32767},
      {32, 16, INT32_MIN, -32767},
      {32, 24, INT32_MAX, 8388607},
      {32, 24, INT32_MIN, -8388607},
      {16, 16, -12345, -12345},
      {24, 24, -5, -5},
      {8, 8, 3, 3},
  };
  for (const auto& c : cases) {
    TRef<IALAudioBuffer> from = Audio(c.from, 1, 2, 1);
    TRef<IALAudioBuffer> to = Audio(c.to, 1, 2, 1);
    from->SetSample(1, 0, c.sample);
    to->Clear();
    from->CopyTo(1, to.get(), 1, 1);
    EXPECT_EQ(Signed(to.get(), 1, 0), c.expected) << c.from << " -> " << c.to << ": " << c.sample;
    EXPECT_EQ(to->GetSample(0, 0), c.to == 8 ? 127 : 0);
  }
}

// Independent model of the pairing, for the randomised test.
std::vector<std::pair<uint32_t, uint32_t>> ModelPairs(TALSpeakers a, uint32_t aChannels,
                                                      TALSpeakers b, uint32_t bChannels) {
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  uint32_t ca = 0, cb = 0;
  for (uint32_t bit = 0; bit < 18; ++bit) {
    const bool inA = (a >> bit) & 1, inB = (b >> bit) & 1;
    if (inA && inB && ca < aChannels && cb < bChannels) pairs.emplace_back(ca, cb);
    ca += inA;
    cb += inB;
  }
  return pairs;
}

TEST(AudioCopyTo, RandomShapesNeverLeaveEitherBuffer) {
  std::mt19937 random(20240611);
  const uint32_t bitChoices[] = {8, 12, 16, 20, 24, 32};
  auto pick = [&](uint32_t below) { return static_cast<uint32_t>(random() % below); };
  for (int round = 0; round < 3000; ++round) {
    const uint32_t fromBits = bitChoices[pick(6)], toBits = bitChoices[pick(6)];
    const uint32_t fromChannels = 1 + pick(6), toChannels = 1 + pick(6);
    const TALSpeakers fromMask = static_cast<TALSpeakers>(random()),
                      toMask = static_cast<TALSpeakers>(random());
    const uint32_t fromFrames = pick(40), toFrames = pick(40);
    TRef<IALAudioBuffer> from = Audio(fromBits, fromChannels, fromFrames, fromMask);
    TRef<IALAudioBuffer> to = Audio(toBits, toChannels, toFrames, toMask);
    std::vector<int32_t> source(std::size_t{fromFrames} * fromChannels);
    for (uint32_t f = 0; f < fromFrames; ++f) {
      for (uint32_t ch = 0; ch < fromChannels; ++ch) {
        const int32_t value = static_cast<int32_t>(random());
        from->SetSample(f, ch, value);
        source[f * fromChannels + ch] = from->GetSample(f, ch);
      }
    }
    // A sentinel over the destination's whole block after its header catches stray writes.
    TSLSmartBuffer* block = to->Implementation()->Block();
    std::memset(block->Data() + 40, 0xA5, block->AllocatedSize() - 40);
    std::vector<int32_t> before(std::size_t{toFrames} * toChannels);
    for (uint32_t f = 0; f < toFrames; ++f) {
      for (uint32_t ch = 0; ch < toChannels; ++ch)
        before[f * toChannels + ch] = to->GetSample(f, ch);
    }

    const uint32_t fromOffset = pick(50), toOffset = pick(50), count = pick(60);
    from->CopyTo(fromOffset, to.get(), toOffset, count);

    const uint32_t copied = fromOffset >= fromFrames || toOffset >= toFrames
                                ? 0
                                : std::min({count, fromFrames - fromOffset, toFrames - toOffset});
    const auto pairs = ModelPairs(fromMask, fromChannels, toMask, toChannels);
    for (uint32_t f = 0; f < toFrames; ++f) {
      for (uint32_t ch = 0; ch < toChannels; ++ch) {
        const bool inRange = f >= toOffset && f < toOffset + copied;
        const auto pair =
            std::find_if(pairs.begin(), pairs.end(), [&](const auto& p) { return p.second == ch; });
        const int32_t now = to->GetSample(f, ch);
        if (!inRange || pair == pairs.end()) {
          ASSERT_EQ(now, before[f * toChannels + ch]) << "round " << round;
        } else if (ContainerBitsFor(fromBits) == ContainerBitsFor(toBits)) {
          ASSERT_EQ(now, source[(fromOffset + f - toOffset) * fromChannels + pair->first])
              << "round " << round;
        }
      }
    }
    const uint8_t* tail = block->Data() + 40 + to->ByteSize();
    for (const uint8_t* p = tail; p < block->Data() + block->AllocatedSize(); ++p) {
      ASSERT_EQ(*p, 0xA5) << "round " << round << ": write after the frames";
    }

    // The two-buffer operations on the same random shapes stay inside both buffers too.
    to->Add(from.get());
    to->Divide(from.get());
    from->Multiply(to.get());
    for (const uint8_t* p = tail; p < block->Data() + block->AllocatedSize(); ++p) {
      ASSERT_EQ(*p, 0xA5) << "round " << round << ": arithmetic wrote after the frames";
    }
  }
}

}  // namespace
}  // namespace tardivox
