#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "vector/SampleBytes.h"
#include "vector/Vector.h"

namespace tardivox::vec {
namespace {

using test::GetSample;
using test::PutSample;

constexpr int64_t kMax32 = INT32_MAX;
constexpr int64_t kMin32 = INT32_MIN;

struct Case {
  int srcBits, dstBits;
  int64_t input, expected;
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
  return os << c.srcBits << "->" << c.dstBits << " " << c.input;
}

class VectorConvertSamples : public testing::TestWithParam<Case> {};

// Source: channel 1 of a 3-channel frame; destination: channel 0 of a 2-channel frame. The
// destination's other channel and the bytes around must not change.
TEST_P(VectorConvertSamples, ConvertsEachSampleOnTheWay) {
  const Case& c = GetParam();
  const int sw = c.srcBits / 8, dw = c.dstBits / 8;
  constexpr int kFrames = 4;
  std::vector<uint8_t> src(3 * sw * kFrames, 0x33), dst(2 * dw * kFrames, 0xC3);
  for (int i = 0; i < kFrames; ++i) PutSample(src, 3 * sw * i + sw, c.srcBits, c.input);
  ASSERT_TRUE(
      ConvertSamples(dst.data(), c.dstBits, 2 * dw, src.data() + sw, c.srcBits, 3 * sw, kFrames));
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(GetSample(dst, 2 * dw * i, c.dstBits), c.expected) << "frame " << i;
    for (int k = 0; k < dw; ++k) EXPECT_EQ(dst[2 * dw * i + dw + k], 0xC3);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Widths, VectorConvertSamples,
    testing::Values(
        // 8 -> wider: 16 and 32 bits put 8-bit silence at 128, 24 bits at 127.
        Case{8, 16, 0, -32768}, Case{8, 16, 128, 128}, Case{8, 16, 255, 32767}, Case{8, 24, 127, 0},
        Case{8, 24, 0, -8388607},
        Case{8, 24, 255, 8388607},  // 128 * 8388607 / 127 would exceed 24 bits: clamped
        Case{8, 32, 0, kMin32}, Case{8, 32, 255, kMax32}, Case{8, 32, 128, 8421504},
        Case{8, 32, 1, -2130640639},
        // 16 -> others.
        Case{16, 8, -32768, 0}, Case{16, 8, 0, 128}, Case{16, 8, 32767, 255}, Case{16, 8, -1, 128},
        Case{16, 8, -257, 127}, Case{16, 24, -1, -256}, Case{16, 24, 32767, 8388607},
        Case{16, 24, -32768, -8388608},  // would be -8388863: clamped, not wrapped to -255
        Case{16, 32, 32767, kMax32}, Case{16, 32, 1, 65538},
        Case{16, 32, -32768, kMin32},  // would be below INT32_MIN: clamped
        // 24 -> others (24-bit sources are signed).
        Case{24, 8, 8388607, 254}, Case{24, 8, -8388608, 0}, Case{24, 8, 0, 127},
        Case{24, 16, -8388608, -32767}, Case{24, 16, 8388607, 32767}, Case{24, 16, -256, -0},
        Case{24, 32, 8388607, kMax32}, Case{24, 32, -8388608, kMin32}, Case{24, 32, -1, -256},
        // 32 -> others.
        Case{32, 8, kMin32, 0}, Case{32, 8, kMax32, 255}, Case{32, 8, 0, 128},
        Case{32, 16, kMax32, 32767}, Case{32, 16, kMin32, -32767}, Case{32, 16, 65538, 0},
        Case{32, 24, kMin32, -8388607}, Case{32, 24, kMax32, 8388607},
        // Equal widths copy unchanged.
        Case{8, 8, 77, 77}, Case{16, 16, -12345, -12345}, Case{24, 24, -8388608, -8388608},
        Case{32, 32, kMin32, kMin32}));

TEST(VectorConvertSamplesEdges, RejectsUnknownWidthsAndIgnoresEmptyCounts) {
  std::vector<uint8_t> src(16, 0x12), dst(16, 0xEE);
  for (auto [s, d] : {std::pair{8, 12}, std::pair{20, 16}, std::pair{0, 0}, std::pair{64, 32}}) {
    EXPECT_FALSE(ConvertSamples(dst.data(), d, 4, src.data(), s, 4, 2));
  }
  for (int count : {0, -1}) {
    EXPECT_TRUE(ConvertSamples(dst.data(), 16, 2, src.data(), 24, 3, count));
    EXPECT_TRUE(ConvertSamples(dst.data(), 24, 3, src.data(), 24, 3, count));
  }
  EXPECT_EQ(dst, std::vector<uint8_t>(16, 0xEE));
}

TEST(VectorConvertSamplesEdges, RampIsMonotonicAcrossWidths) {
  // Widening every 16-bit value is strictly increasing and narrowing it back is off by at most
  // one (truncation both ways); the 8-bit image never decreases: no conversion wraps.
  std::vector<uint8_t> s16(2 * 65536), up(4 * 65536), back(2 * 65536), s8(65536);
  for (int v = -32768; v <= 32767; ++v) PutSample(s16, 2 * (v + 32768), 16, v);
  for (int bits : {24, 32}) {
    SCOPED_TRACE(bits);
    ConvertSamples(up.data(), bits, bits / 8, s16.data(), 16, 2, 65536);
    ConvertSamples(back.data(), 16, 2, up.data(), bits, bits / 8, 65536);
    for (int i = 1; i < 65536; ++i) {
      ASSERT_LT(GetSample(up, (i - 1) * bits / 8, bits), GetSample(up, i * bits / 8, bits)) << i;
      ASSERT_LE(std::abs(GetSample(back, 2 * i, 16) - GetSample(s16, 2 * i, 16)), 1) << i;
    }
  }
  ConvertSamples(s8.data(), 8, 1, s16.data(), 16, 2, 65536);
  for (int i = 1; i < 65536; ++i) ASSERT_LE(s8[i - 1], s8[i]) << i;
}

}  // namespace
}  // namespace tardivox::vec
