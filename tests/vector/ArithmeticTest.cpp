#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "vector/Vector.h"

namespace tardivox::vec {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kMax = INT32_MAX;
constexpr int32_t kMin = INT32_MIN;

enum class Op { Add, Subtract, Multiply, Divide };

template <class T>
bool Apply(Op op, std::vector<T>& a, const std::vector<T>& b, int count) {
  switch (op) {
    case Op::Add:
      Add(a.data(), b.data(), count);
      return false;
    case Op::Subtract:
      Subtract(a.data(), b.data(), count);
      return false;
    case Op::Multiply:
      Multiply(a.data(), b.data(), count);
      return false;
    case Op::Divide:
      return Divide(a.data(), b.data(), count);
  }
  return false;
}

TEST(VectorArithmetic, DoublesFollowIeeeAndReportZeroDivisors) {
  struct Case {
    Op op;
    std::vector<double> a, b, expected;
    bool zeroDivisor;
  };
  const Case cases[] = {
      {Op::Add, {1, -2, 1e308}, {2, 2, 1e308}, {3, 0, kInf}, false},
      {Op::Subtract, {1, -2}, {2, -2}, {-1, 0}, false},
      {Op::Multiply, {3, -2, 0}, {2, 4, -1}, {6, -8, -0.0}, false},
      {Op::Divide, {1, -1, 0, 6}, {0, 0, 0, 3}, {kInf, -kInf, kNaN, 2}, true},
      {Op::Divide, {1, 2}, {2, 4}, {0.5, 0.5}, false},
      {Op::Divide, {1}, {-0.0}, {-kInf}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.op));
    auto a = c.a;
    EXPECT_EQ(Apply(c.op, a, c.b, static_cast<int>(a.size())), c.zeroDivisor);
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (std::isnan(c.expected[i])) {
        EXPECT_TRUE(std::isnan(a[i])) << i;
      } else {
        EXPECT_EQ(a[i], c.expected[i]) << i;
      }
    }
  }
}

TEST(VectorArithmetic, NonPositiveCountsLeaveEveryKindUntouched) {
  for (int count : {0, -1}) {
    for (Op op : {Op::Add, Op::Subtract, Op::Multiply, Op::Divide}) {
      std::vector<double> d{4}, dz{0};
      std::vector<int32_t> i{4}, iz{0};
      std::vector<uint8_t> b{4}, bz{0};
      std::vector<Complex> c{Complex(4, 4)}, cz{Complex(0, 0)};
      EXPECT_FALSE(Apply(op, d, dz, count));
      EXPECT_FALSE(Apply(op, i, iz, count));
      EXPECT_FALSE(Apply(op, b, bz, count));
      EXPECT_FALSE(Apply(op, c, cz, count));
      EXPECT_EQ(d[0], 4);
      EXPECT_EQ(i[0], 4);
      EXPECT_EQ(b[0], 4);
      EXPECT_EQ(c[0], Complex(4, 4));
    }
  }
}

TEST(VectorArithmetic, OperandMayBeTheResultArray) {
  std::vector<double> d = {1.5, -3};
  Add(d.data(), d.data(), 2);
  EXPECT_EQ(d, (std::vector<double>{3, -6}));
  std::vector<int32_t> i = {kMax, -7};
  Multiply(i.data(), i.data(), 2);
  EXPECT_EQ(i, (std::vector<int32_t>{kMax, 49}));
}

TEST(VectorArithmetic, ComplexPairs) {
  struct Case {
    Op op;
    Complex a, b, expected;
    bool zeroDivisor;
  };
  const Case cases[] = {
      {Op::Add, {1, 2}, {3, -4}, {4, -2}, false},
      {Op::Subtract, {1, 2}, {3, -4}, {-2, 6}, false},
      {Op::Multiply, {1, 2}, {3, 4}, {-5, 10}, false},
      {Op::Divide, {-5, 10}, {3, 4}, {1, 2}, false},
      {Op::Divide, {-5, 10}, {4, 3}, {0.4, 2.2}, false},
      {Op::Divide, {1e300, 1e300}, {1e300, 1e300}, {1, 0}, false},  // no overflow on the way
      {Op::Divide, {1e-300, 0}, {0, 1e-300}, {0, -1}, false},       // nor underflow
      {Op::Divide, {3, -7}, {0, 0}, {0, 0}, true},
      {Op::Divide, {3, -7}, {-0.0, 0}, {0, 0}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.op) << " " << c.a << " " << c.b);
    std::vector<Complex> a = {c.a, Complex(9, 9)};
    const std::vector<Complex> b = {c.b, Complex(1, 1)};
    EXPECT_EQ(Apply(c.op, a, b, 1), c.zeroDivisor);
    EXPECT_NEAR(a[0].real(), c.expected.real(), 1e-12);
    EXPECT_NEAR(a[0].imag(), c.expected.imag(), 1e-12);
    EXPECT_EQ(a[1], Complex(9, 9));
  }
}

TEST(VectorArithmetic, Int32SaturatesAndDividesSoundly) {
  struct Case {
    Op op;
    int32_t a, b, expected;
  };
  const Case cases[] = {
      {Op::Add, kMax, 1, kMax},
      {Op::Add, kMin, -1, kMin},
      {Op::Add, -5, 3, -2},
      {Op::Subtract, kMin, 1, kMin},
      {Op::Subtract, 0, kMin, kMax},
      {Op::Subtract, kMax, -1, kMax},
      {Op::Multiply, 65536, 65536, kMax},
      {Op::Multiply, kMin, -1, kMax},
      {Op::Multiply, kMin, 2, kMin},
      {Op::Multiply, -300, 7, -2100},
      {Op::Divide, 7, -2, -3},
      {Op::Divide, -7, 2, -3},
      {Op::Divide, kMin, -1, kMax},
      {Op::Divide, 5, 0, kMax},
      {Op::Divide, -5, 0, kMin},
      {Op::Divide, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.op) << " " << c.a << " " << c.b);
    std::vector<int32_t> a = {c.a};
    EXPECT_EQ(Apply(c.op, a, {c.b}, 1), c.op == Op::Divide && c.b == 0);
    EXPECT_EQ(a[0], c.expected);
  }
}

TEST(VectorArithmetic, BytesSaturateToByteRange) {
  struct Case {
    Op op;
    uint8_t a, b, expected;
  };
  const Case cases[] = {
      {Op::Add, 200, 55, 255},  {Op::Add, 200, 100, 255},    {Op::Subtract, 5, 10, 0},
      {Op::Subtract, 10, 5, 5}, {Op::Multiply, 16, 16, 255}, {Op::Multiply, 15, 17, 255},
      {Op::Multiply, 3, 5, 15}, {Op::Divide, 255, 2, 127},   {Op::Divide, 7, 0, 255},
      {Op::Divide, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << static_cast<int>(c.op) << " " << int{c.a} << " " << int{c.b});
    std::vector<uint8_t> a = {c.a};
    EXPECT_EQ(Apply(c.op, a, {c.b}, 1), c.op == Op::Divide && c.b == 0);
    EXPECT_EQ(a[0], c.expected);
  }
}

TEST(VectorArithmetic, LongArraysMatchElementwiseResults) {
  // Lengths that exercise vector bodies and scalar tails.
  for (int n : {1, 3, 4, 15, 17, 1031}) {
    std::vector<int32_t> a(n), b(n);
    std::vector<uint8_t> x(n), y(n);
    for (int i = 0; i < n; ++i) {
      a[i] = (i % 3 == 0) ? kMax - i : -i * 1000;
      b[i] = (i % 3 == 0) ? i + 1 : i;
      x[i] = static_cast<uint8_t>(i * 37);
      y[i] = static_cast<uint8_t>(i * 91);
    }
    auto sum = a;
    Add(sum.data(), b.data(), n);
    auto bsum = x;
    Add(bsum.data(), y.data(), n);
    for (int i = 0; i < n; ++i) {
      const int64_t s = int64_t{a[i]} + b[i];
      ASSERT_EQ(sum[i], s > kMax ? kMax : s) << n << ":" << i;
      ASSERT_EQ(bsum[i], std::min(255, x[i] + y[i])) << n << ":" << i;
    }
  }
}

TEST(VectorConvert, Int32ToDoubleIsExact) {
  const std::vector<int32_t> src = {kMin, -1, 0, 1, kMax};
  std::vector<double> dst(6, 9.0);
  Convert(dst.data(), src.data(), 5);
  EXPECT_EQ(dst, (std::vector<double>{-2147483648.0, -1, 0, 1, 2147483647.0, 9.0}));
  Convert(dst.data(), src.data(), -1);
  EXPECT_EQ(dst[5], 9.0);
}

TEST(VectorMinMax, TableOfExtremes) {
  struct Case {
    std::vector<double> items;
    double minimum, maximum;
  };
  const Case cases[] = {
      {{}, 0.0, 0.0},
      {{3}, 3, 3},
      {{5, -1, 7, 2}, -1, 7},
      {{1, 2, 3, 4, 5, 6, 7, 8, -9}, -9, 8},  // extreme in the scalar tail
      {{-9, 2, 3, 4, 5, 6, 7, 8, 9}, -9, 9},
      {{kNaN, 2, kNaN, -4, 1}, -4, 2},  // NaN items are skipped
      {{kInf, kInf}, kInf, kInf},
      {{-kInf, kNaN, 1}, -kInf, 1},
      {{-1.7e308, 1.7e308}, -1.7e308, 1.7e308},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.items.size());
    EXPECT_EQ(Minimum(c.items.data(), static_cast<int>(c.items.size())), c.minimum);
    EXPECT_EQ(Maximum(c.items.data(), static_cast<int>(c.items.size())), c.maximum);
  }
  const std::vector<double> allNaN(5, kNaN);
  EXPECT_TRUE(std::isnan(Minimum(allNaN.data(), 5)));
  EXPECT_TRUE(std::isnan(Maximum(allNaN.data(), 5)));
  EXPECT_EQ(Minimum(allNaN.data(), -1), 0.0);
  EXPECT_EQ(Maximum(nullptr, 0), 0.0);
}

TEST(VectorJaehne, SweepMatchesDefinition) {
  std::vector<double> v(5, 9.0);
  FillJaehne(v.data(), 4, 1.0);
  const double pi = std::numbers::pi;
  EXPECT_DOUBLE_EQ(v[0], 0.0);
  EXPECT_DOUBLE_EQ(v[1], std::sin(pi / 8));
  EXPECT_DOUBLE_EQ(v[2], std::sin(pi / 2));
  EXPECT_NEAR(v[3], std::sin(9 * pi / 8), 1e-15);
  EXPECT_EQ(v[4], 9.0);

  FillJaehne(v.data(), 0, 1.0);
  FillJaehne(v.data(), -1, 1.0);
  EXPECT_EQ(v[4], 9.0);

  // A long sweep stays accurate where a direct double evaluation of n^2 would not.
  const int n = 3000000;
  std::vector<double> big(n);
  FillJaehne(big.data(), n, 2.0);
  for (int k : {1, 1234, 999999, n - 1}) {
    const long double phase = std::fmod(static_cast<long double>(k) * k, 4.0L * n) *
                              std::numbers::pi_v<long double> / (2.0L * n);
    EXPECT_NEAR(big[k], 2.0 * static_cast<double>(std::sin(phase)), 1e-9) << k;
  }
}

}  // namespace
}  // namespace tardivox::vec
