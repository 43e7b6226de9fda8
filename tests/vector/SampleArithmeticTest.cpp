#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "vector/SampleBytes.h"
#include "vector/Vector.h"

namespace tardivox::vec {
namespace {

using test::GetSample;
using test::PutSample;

constexpr int64_t kMax32 = INT32_MAX;
constexpr int64_t kMin32 = INT32_MIN;

TEST(VectorSample24, LoadSignExtendsAndStoreFollowsTheSignRule) {
  struct Load {
    uint8_t b0, b1, b2;
    int32_t value;
  };
  for (const Load c : {Load{0xFF, 0xFF, 0xFF, -1}, Load{0x00, 0x00, 0x80, -8388608},
                       Load{0xFF, 0xFF, 0x7F, 8388607}, Load{0x56, 0x34, 0x12, 1193046}}) {
    const uint8_t bytes[3] = {c.b0, c.b1, c.b2};
    EXPECT_EQ(LoadSample24(bytes), c.value);
  }
  struct Store {
    int64_t v;
    int32_t readsBack;
  };
  for (const Store c : {Store{-8388608, -8388608}, Store{8388607, 8388607},
                        Store{8388608, -8388608},    // bit 23 set by the value itself
                        Store{-8388609, -1},         // 0x..7FFFFF with bit 23 forced on
                        Store{-16777216, -8388608},  // low 24 bits zero, still negative
                        Store{16777217, 1}}) {
    SCOPED_TRACE(c.v);
    uint8_t bytes[4] = {0, 0, 0, 0xEE};
    StoreSample24(bytes, c.v);
    EXPECT_EQ(LoadSample24(bytes), c.readsBack);
    EXPECT_EQ(bytes[3], 0xEE);
  }
}

struct Case {
  SampleOp op;
  int bits;
  int64_t a, b, expected;
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
  return os << c.bits << " bits op " << static_cast<int>(c.op) << " a=" << c.a << " b=" << c.b;
}

class VectorSampleArithmetic : public testing::TestWithParam<Case> {};

// The result lands in the first channel of a stereo frame; the second channel's bytes and the
// other operand must not change.
TEST_P(VectorSampleArithmetic, CombinesOneSamplePairPerWidth) {
  const Case& c = GetParam();
  const int width = c.bits / 8;
  std::vector<uint8_t> mine(2 * width * 3, 0xA5), other(width * 3, 0x5A);
  for (int i = 0; i < 3; ++i) {
    PutSample(mine, 2 * width * i, c.bits, c.a);
    PutSample(other, width * i, c.bits, c.b);
  }
  const auto otherBefore = other;
  const bool result = CombineSamples(c.op, c.bits, mine.data(), 2 * width, other.data(), width, 3);
  const bool zeroDivisor = c.op == SampleOp::Divide && c.b == (c.bits == 8 ? 127 : 0);
  EXPECT_EQ(result, c.op == SampleOp::Divide ? zeroDivisor : true);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(GetSample(mine, 2 * width * i, c.bits), c.expected) << "frame " << i;
    for (int k = 0; k < width; ++k) EXPECT_EQ(mine[2 * width * i + width + k], 0xA5);
  }
  EXPECT_EQ(other, otherBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, VectorSampleArithmetic,
    testing::Values(
        // 8 bits: silence 127, results wrap to the low byte.
        Case{SampleOp::Add, 8, 127, 127, 127}, Case{SampleOp::Add, 8, 200, 200, 17},
        Case{SampleOp::Add, 8, 0, 0, 129}, Case{SampleOp::Subtract, 8, 100, 127, 100},
        Case{SampleOp::Subtract, 8, 0, 255, 128}, Case{SampleOp::Multiply, 8, 255, 255, 127},
        Case{SampleOp::Multiply, 8, 129, 130, 133}, Case{SampleOp::Divide, 8, 255, 127, 127},
        Case{SampleOp::Divide, 8, 0, 129, 64}, Case{SampleOp::Divide, 8, 255, 126, 255},
        // 16 bits: saturating.
        Case{SampleOp::Add, 16, 30000, 10000, 32767},
        Case{SampleOp::Add, 16, -30000, -10000, -32768},
        Case{SampleOp::Subtract, 16, -32768, 1, -32768},
        Case{SampleOp::Subtract, 16, 0, -32768, 32767},
        Case{SampleOp::Multiply, 16, 300, 300, 32767},
        Case{SampleOp::Multiply, 16, -300, 300, -32768},
        Case{SampleOp::Multiply, 16, -181, 181, -32761}, Case{SampleOp::Divide, 16, 7, -2, -3},
        Case{SampleOp::Divide, 16, -32768, -1, 32767}, Case{SampleOp::Divide, 16, 5, 0, 32767},
        Case{SampleOp::Divide, 16, -5, 0, -32768}, Case{SampleOp::Divide, 16, 0, 0, 0},
        // 24 bits: the store rule (wraps, negative results stay negative).
        Case{SampleOp::Add, 24, 8388607, 1, -8388608}, Case{SampleOp::Add, 24, -1, -1, -2},
        Case{SampleOp::Subtract, 24, -8388608, 1, -1},
        Case{SampleOp::Multiply, 24, -4096, 4096, -8388608},
        Case{SampleOp::Multiply, 24, 1000, -3, -3000},
        Case{SampleOp::Divide, 24, -8388608, -1, -8388608}, Case{SampleOp::Divide, 24, -7, 2, -3},
        Case{SampleOp::Divide, 24, 9, 0, 8388607}, Case{SampleOp::Divide, 24, -9, 0, -8388608},
        // 32 bits: wrapping.
        Case{SampleOp::Add, 32, kMax32, 1, kMin32}, Case{SampleOp::Subtract, 32, kMin32, 1, kMax32},
        Case{SampleOp::Multiply, 32, 65536, 65536, 0},
        Case{SampleOp::Multiply, 32, kMin32, -1, kMin32},
        Case{SampleOp::Divide, 32, kMin32, -1, kMin32}, Case{SampleOp::Divide, 32, -9, 4, -2},
        Case{SampleOp::Divide, 32, 1, 0, kMax32}, Case{SampleOp::Divide, 32, -1, 0, kMin32}));

TEST(VectorSampleArithmeticDispatch, MonoOperandCombinesWithEveryChannel) {
  // A stereo 16-bit buffer plus a mono one: one call per channel, the mono stride is 2.
  std::vector<uint8_t> stereo(12), mono(6);
  for (int i = 0; i < 3; ++i) {
    PutSample(stereo, 4 * i, 16, 100 * i);
    PutSample(stereo, 4 * i + 2, 16, -100 * i);
    PutSample(mono, 2 * i, 16, 7);
  }
  for (int ch = 0; ch < 2; ++ch) AddSamples16(stereo.data() + 2 * ch, 4, mono.data(), 2, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(GetSample(stereo, 4 * i, 16), 100 * i + 7);
    EXPECT_EQ(GetSample(stereo, 4 * i + 2, 16), -100 * i + 7);
  }
}

TEST(VectorSampleArithmeticDispatch, UnknownWidthsAndEmptyCountsWriteNothing) {
  std::vector<uint8_t> a(8, 0x11), b(8, 0x22);
  for (int bits : {0, 12, 20, 64}) {
    EXPECT_FALSE(CombineSamples(SampleOp::Add, bits, a.data(), 4, b.data(), 4, 2));
    EXPECT_FALSE(ScaleSamples(bits, a.data(), 4, 2.0, 2));
  }
  for (int count : {0, -1}) {
    for (int bits : {8, 16, 24, 32}) {
      for (SampleOp op :
           {SampleOp::Add, SampleOp::Subtract, SampleOp::Multiply, SampleOp::Divide}) {
        EXPECT_EQ(CombineSamples(op, bits, a.data(), 4, b.data(), 4, count),
                  op != SampleOp::Divide);
      }
      EXPECT_TRUE(ScaleSamples(bits, a.data(), 4, 2.0, count));
    }
  }
  EXPECT_EQ(a, std::vector<uint8_t>(8, 0x11));
}

TEST(VectorScaleSamples, RoundsToEvenAndKeepsLowBits) {
  struct ScaleCase {
    int bits;
    int64_t sample;
    double factor;
    int64_t expected;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const ScaleCase cases[] = {
      {8, 127, 0.5, 64},
      {8, 127, 0.0, 0},
      {8, 200, 2.0, 144},  // 400 kept to 8 bits
      {16, 20000, 2.0, -25536},
      {16, 5, 0.5, 2},
      {16, 7, 0.5, 4},
      {16, -5, 0.5, -2},
      {16, 1, 1e300, 0},  // low bits of a huge value
      {16, 3, nan, 0},
      {16, 3, std::numeric_limits<double>::infinity(), 0},
      {24, 8388607, 2.0, -2},
      {24, -8388608, 2.0, -8388608},
      {24, 1193046, 1.0, 1193046},
      {32, kMax32, 2.0, -2},
      {32, kMin32, -1.0, kMin32},
      {32, 1000, -0.25, -250},
  };
  for (const ScaleCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits " << c.sample << " x " << c.factor);
    const int width = c.bits / 8;
    std::vector<uint8_t> data(3 * width + 1, 0xEE);
    PutSample(data, 0, c.bits, c.sample);
    PutSample(data, 2 * width, c.bits, c.sample);
    EXPECT_TRUE(ScaleSamples(c.bits, data.data(), 2 * width, c.factor, 2));
    EXPECT_EQ(GetSample(data, 0, c.bits), c.expected);
    EXPECT_EQ(GetSample(data, 2 * width, c.bits), c.expected);
    for (int k = 0; k < width; ++k) EXPECT_EQ(data[width + k], 0xEE);  // skipped by the stride
  }
}

}  // namespace
}  // namespace tardivox::vec
