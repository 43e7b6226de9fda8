#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vector/Vector.h"

namespace tardivox::vec {
namespace {

// Each Fill and Zero writes exactly `count` items; the guard item after them stays.
template <class T>
void ExpectFillAndZero(T value, T guard) {
  for (int count : {-1, 0, 1, 5, 33}) {
    SCOPED_TRACE(count);
    std::vector<T> v(40, guard);
    Fill(v.data(), value, count);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(v[i], i < count ? value : guard) << i;
    std::vector<T> z(40, guard);
    Zero(z.data(), count);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(z[i], i < count ? T{} : guard) << i;
  }
}

TEST(VectorFill, FillsAndZeroesExactlyCountItems) {
  ExpectFillAndZero<uint8_t>(0x7F, 0xEE);
  ExpectFillAndZero<int16_t>(-32768, 7);
  ExpectFillAndZero<int32_t>(INT32_MIN, 7);
  ExpectFillAndZero<double>(-2.5, 7.0);
  ExpectFillAndZero<Complex>(Complex(1.5, -3.0), Complex(7.0, 7.0));
}

TEST(VectorFill, ZeroOfDoublesIsPositiveZero) {
  std::vector<double> v(3, -1.0);
  Zero(v.data(), 3);
  for (double d : v) EXPECT_FALSE(std::signbit(d));
}

TEST(VectorFill, Stride12WritesEveryThirdWordOnly) {
  std::vector<int32_t> v(12, 5);
  FillStride12(v.data(), -9, 4);
  EXPECT_EQ(v, (std::vector<int32_t>{-9, 5, 5, -9, 5, 5, -9, 5, 5, -9, 5, 5}));
  FillStride12(v.data() + 1, 1, 0);
  FillStride12(v.data() + 1, 1, -1);
  EXPECT_EQ(v[1], 5);
}

TEST(VectorFill, Samples24LayTheLow24BitsAtAnyAlignment) {
  // 1193046 = 0x123456: bytes 56 34 12. High bits of the value are dropped.
  static constexpr uint8_t kPattern[3] = {0x56, 0x34, 0x12};
  for (int32_t value : {1193046, 0x7F123456, static_cast<int32_t>(0x80123456)}) {
    for (int offset : {0, 1, 2, 3}) {
      for (int count : {-1, 0, 1, 3, 4, 5, 8, 11}) {
        SCOPED_TRACE(testing::Message() << value << " offset " << offset << " count " << count);
        std::vector<uint8_t> bytes(offset + 3 * 12 + 4, 0xEE);
        FillSamples24(bytes.data() + offset, value, count);
        const int n = count > 0 ? count : 0;
        for (int i = 0; i < static_cast<int>(bytes.size()); ++i) {
          const int rel = i - offset;
          uint8_t expected = 0xEE;
          if (rel >= 0 && rel < 3 * n) expected = kPattern[rel % 3];
          ASSERT_EQ(bytes[i], expected) << "byte " << i;
        }
      }
    }
  }
}

TEST(VectorFillRect, FillsOnlyTheRectangle) {
  struct Case {
    int strideBytes, width, rows, startPixel;
  };
  // Image of 6 x 5 pixels; startPixel indexes the image as 32-bit words.
  for (const Case c : {Case{24, 3, 2, 7}, Case{24, 6, 5, 0}, Case{-24, 2, 3, 25}, Case{24, 0, 3, 0},
                       Case{24, 3, 0, 0}, Case{24, -1, 3, 0}}) {
    SCOPED_TRACE(testing::Message() << c.strideBytes << " " << c.width << "x" << c.rows);
    std::vector<uint32_t> image(30, 0x11111111u);
    auto expected = image;
    for (int r = 0; r < c.rows; ++r) {
      for (int x = 0; x < c.width; ++x)
        expected[c.startPixel + r * c.strideBytes / 4 + x] = 0xFF00FF00u;
    }
    FillRect32(image.data() + c.startPixel, c.strideBytes, c.width, c.rows, 0xFF00FF00u);
    EXPECT_EQ(image, expected);
  }
}

TEST(VectorFillRect, HandlesUnalignedStartAndStride) {
  std::vector<uint8_t> bytes(64, 0);
  FillRect32(bytes.data() + 1, 13, 2, 3, 0x04030201u);
  for (int r = 0; r < 3; ++r) {
    for (int k = 0; k < 8; ++k) EXPECT_EQ(bytes[1 + 13 * r + k], 1 + k % 4);
    EXPECT_EQ(bytes[1 + 13 * r + 8], 0);
  }
  EXPECT_EQ(bytes[0], 0);
}

}  // namespace
}  // namespace tardivox::vec
