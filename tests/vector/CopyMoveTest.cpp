#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "vector/SampleBytes.h"
#include "vector/Vector.h"

namespace tardivox::vec {
namespace {

std::vector<uint8_t> Iota(int n, int start = 0) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), static_cast<uint8_t>(start));
  return v;
}

TEST(VectorCopy, CopiesEachElementType) {
  const std::vector<int32_t> srcI = {INT32_MIN, -1, 0, 1, INT32_MAX};
  std::vector<int32_t> dstI(5, 7);
  Copy(dstI.data(), srcI.data(), 5);
  EXPECT_EQ(dstI, srcI);

  const std::vector<double> srcD = {-0.0, 1.5, -1e300};
  std::vector<double> dstD(4, 9.0);
  Copy(dstD.data(), srcD.data(), 3);
  EXPECT_EQ(dstD, (std::vector<double>{-0.0, 1.5, -1e300, 9.0}));
  EXPECT_TRUE(std::signbit(dstD[0]));

  const auto srcB = Iota(10);
  std::vector<uint8_t> dstB(10, 0xEE);
  Copy(dstB.data(), srcB.data(), 9);
  EXPECT_EQ(dstB[8], 8);
  EXPECT_EQ(dstB[9], 0xEE);
}

TEST(VectorCopy, NonPositiveCountsDoNothing) {
  for (int count : {0, -1, INT32_MIN}) {
    SCOPED_TRACE(count);
    std::vector<double> d(3, 5.0), s(3, 1.0);
    std::vector<int32_t> di(3, 5), si(3, 1);
    std::vector<uint8_t> db(3, 5), sb(3, 1);
    Copy(d.data(), s.data(), count);
    Copy(di.data(), si.data(), count);
    Copy(db.data(), sb.data(), count);
    MoveBytes(db.data(), sb.data(), count);
    CopySamples8(db.data(), 1, sb.data(), 1, count);
    CopySamples16(db.data(), 3, sb.data(), 3, count);
    CopySamples24(db.data(), 3, sb.data(), 3, count);
    CopySamples32(db.data(), 2, sb.data(), 2, count);
    EXPECT_EQ(d, std::vector<double>(3, 5.0));
    EXPECT_EQ(di, std::vector<int32_t>(3, 5));
    EXPECT_EQ(db, std::vector<uint8_t>(3, 5));
    // Null pointers are allowed with such counts.
    Copy(static_cast<double*>(nullptr), nullptr, count);
    MoveBytes(nullptr, nullptr, count);
  }
}

TEST(VectorCopy, OverlappingRangesBehaveLikeATemporary) {
  struct Case {
    int dst, src, count;
  };
  for (const Case c : {Case{2, 0, 6}, Case{0, 2, 6}, Case{1, 0, 9}, Case{0, 1, 9}, Case{3, 3, 4}}) {
    SCOPED_TRACE(testing::Message() << c.dst << "<-" << c.src << " x" << c.count);
    auto moved = Iota(10, 100);
    auto expected = moved;
    const std::vector<uint8_t> tmp(expected.begin() + c.src, expected.begin() + c.src + c.count);
    std::copy(tmp.begin(), tmp.end(), expected.begin() + c.dst);
    MoveBytes(moved.data() + c.dst, moved.data() + c.src, c.count);
    EXPECT_EQ(moved, expected);

    std::vector<int32_t> ints(10);
    std::iota(ints.begin(), ints.end(), -5);
    std::vector<int32_t> expectedInts(ints);
    const std::vector<int32_t> tmpInts(ints.begin() + c.src, ints.begin() + c.src + c.count);
    std::copy(tmpInts.begin(), tmpInts.end(), expectedInts.begin() + c.dst);
    Copy(ints.data() + c.dst, ints.data() + c.src, c.count);
    EXPECT_EQ(ints, expectedInts);
  }
}

// One channel of an interleaved source goes into one channel of an interleaved destination of
// another layout; every other byte of the destination must stay as it was.
TEST(VectorCopySamples, CopiesOneChannelBetweenLayouts) {
  struct Case {
    int bits;
    std::ptrdiff_t srcStride, srcOffset, dstStride, dstOffset;
  };
  const Case cases[] = {
      {8, 2, 1, 3, 2},  {16, 4, 2, 2, 0}, {16, 6, 3, 5, 1},  // odd offsets and strides
      {24, 6, 3, 3, 0}, {24, 9, 1, 7, 4}, {32, 8, 4, 12, 8}, {32, 5, 1, 4, 0},
      {16, 2, 0, 2, 0}, {24, 3, 0, 3, 0}, {32, 4, 0, 4, 0},  {8, 1, 0, 1, 0},  // contiguous
  };
  constexpr int kCount = 7;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.bits << " bits, strides " << c.srcStride << "/" << c.dstStride);
    const int width = c.bits / 8;
    const auto src = Iota(static_cast<int>(c.srcOffset + c.srcStride * kCount + width), 1);
    std::vector<uint8_t> dst(c.dstOffset + c.dstStride * kCount + width, 0xAA);
    auto expected = dst;
    for (int i = 0; i < kCount; ++i) {
      for (int k = 0; k < width; ++k) {
        expected[c.dstOffset + i * c.dstStride + k] = src[c.srcOffset + i * c.srcStride + k];
      }
    }
    void* d = dst.data() + c.dstOffset;
    const void* s = src.data() + c.srcOffset;
    switch (c.bits) {
      case 8:
        CopySamples8(d, c.dstStride, s, c.srcStride, kCount);
        break;
      case 16:
        CopySamples16(d, c.dstStride, s, c.srcStride, kCount);
        break;
      case 24:
        CopySamples24(d, c.dstStride, s, c.srcStride, kCount);
        break;
      default:
        CopySamples32(d, c.dstStride, s, c.srcStride, kCount);
        break;
    }
    EXPECT_EQ(dst, expected);
  }
}

TEST(VectorCopySamples, NegativeStrideWalksBackwards) {
  std::vector<uint8_t> src(8), dst(8, 0);
  for (int i = 0; i < 4; ++i) test::PutSample(src, 2 * i, 16, -1000 * (i + 1));
  // The last destination sample is the base; the copy reverses the order.
  CopySamples16(dst.data() + 6, -2, src.data(), 2, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(test::GetSample(dst, 6 - 2 * i, 16), -1000 * (i + 1));
}

}  // namespace
}  // namespace tardivox::vec
