#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <numbers>

#include "buffers/BlockBuffer.h"
#include "buffers/ComplexBuffer.h"
#include "buffers/IntegerBuffer.h"
#include "buffers/RealBuffer.h"
#include "buffers/RealQueue.h"
#include "core/Exceptions.h"

namespace tardivox {
namespace {

TRef<ISLRealBuffer> Reals(std::initializer_list<double> values) {
  TRef<ISLRealBuffer> buffer(new TSLRealBuffer(static_cast<uint32_t>(values.size())));
  std::copy(values.begin(), values.end(), buffer->WriteData());
  return buffer;
}

std::vector<double> Items(ISLRealBuffer* buffer) {
  return std::vector<double>(buffer->ReadData(), buffer->ReadData() + buffer->Count());
}

TEST(RealBuffer, ConstructionFromIntegers) {
  const int32_t values[] = {INT32_MIN, -1, 0, INT32_MAX};
  TRef<ISLRealBuffer> buffer(new TSLRealBuffer(values, 4));
  EXPECT_EQ(Items(buffer.get()), (std::vector<double>{-2147483648.0, -1, 0, 2147483647.0}));
}

TEST(RealBuffer, IndexErrorsUseTheWriteSideText) {
  TRef<ISLRealBuffer> buffer = Reals({1, 2, 3, 4});
  TRef<ISLRealBuffer> clone = RefCast<ISLRealBuffer>(buffer->Clone());
  try {
    buffer->GetValue(4);
    FAIL();
  } catch (const ERangeError& e) {
    EXPECT_STREQ(e.what(), "Index out of rabge = 4");
  }
  try {
    clone->SetValue(4, 1);
    FAIL();
  } catch (const ERangeError& e) {
    EXPECT_STREQ(e.what(), "Index out of rabge = 4");
  }
  EXPECT_NE(clone->Implementation()->Block(), buffer->Implementation()->Block());
}

TEST(RealBuffer, DivideBoundsTheQuotientsOfZeroDivisors) {
  TRef<ISLRealBuffer> a = Reals({1, -1, 0, 6});
  a->Divide(Reals({0, 0, 0, 3}).get());
  EXPECT_EQ(Items(a.get()), (std::vector<double>{1.0e15, -1.0e14, -1.0e14, 2}));

  TRef<ISLRealBuffer> b = Reals({1, 2});
  b->Divide(Reals({2, 4}).get());
  EXPECT_EQ(Items(b.get()), (std::vector<double>{0.5, 0.5}));

  // A NaN divisor is corrected only when some divisor is zero.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  TRef<ISLRealBuffer> c = Reals({1, 1});
  c->Divide(Reals({nan, 1}).get());
  EXPECT_TRUE(std::isnan(c->GetValue(0)));
  TRef<ISLRealBuffer> d = Reals({1, 1, 1});
  d->Divide(Reals({nan, 0, 1}).get());
  EXPECT_EQ(Items(d.get()), (std::vector<double>{-1.0e14, 1.0e15, 1}));

  // Dividing by itself finds the zero divisors too.
  TRef<ISLRealBuffer> e = Reals({0, 4});
  e->Divide(e.get());
  EXPECT_EQ(Items(e.get()), (std::vector<double>{-1.0e14, 1}));
}

TEST(RealBuffer, ArithmeticRunsOverTheSmallerCount) {
  TRef<ISLRealBuffer> a = Reals({1, 2, 3});
  a->Add(Reals({10, 20}).get());
  EXPECT_EQ(Items(a.get()), (std::vector<double>{11, 22, 3}));
  a->Subtract(Reals({1, 1, 1, 1}).get());
  EXPECT_EQ(Items(a.get()), (std::vector<double>{10, 21, 2}));
  a->Multiply(Reals({2, 2, 2}).get());
  EXPECT_EQ(Items(a.get()), (std::vector<double>{20, 42, 4}));
  a->Add(nullptr);
  TRef<ISLRealBuffer> shared = RefCast<ISLRealBuffer>(a->Clone());
  a->Add(shared.get());
  EXPECT_EQ(Items(a.get()), (std::vector<double>{40, 84, 8}));
  EXPECT_EQ(Items(shared.get()), (std::vector<double>{20, 42, 4}));
}

TEST(RealBuffer, ExtremesAndRanges) {
  EXPECT_EQ(TRef<ISLRealBuffer>(new TSLRealBuffer(0u))->Minimum(), 0.0);
  EXPECT_EQ(TRef<ISLRealBuffer>(new TSLRealBuffer(0u))->Maximum(), 0.0);
  TRef<ISLRealBuffer> a = Reals({3, -1, 7, 2});
  EXPECT_EQ(a->Minimum(), -1.0);
  EXPECT_EQ(a->Maximum(), 7.0);
  const struct {
    int32_t start, end;
    double min, max;
  } ranges[] = {
      {0, 4, -1, 7},   {2, 4, 2, 7}, {-5, 2, -1, 3},
      {1, 100, -1, 7}, {3, 4, 2, 2}, {9, 99, 2, 2},  // a start beyond the end is the last item
      {2, 2, 0, 0},    {3, 1, 0, 0}, {0, -3, 0, 0},
  };
  for (const auto& r : ranges) {
    EXPECT_EQ(a->MinimumInRange(r.start, r.end), r.min) << r.start << ".." << r.end;
    EXPECT_EQ(a->MaximumInRange(r.start, r.end), r.max) << r.start << ".." << r.end;
  }
  TRef<ISLRealBuffer> empty(new TSLRealBuffer(0u));
  EXPECT_EQ(empty->MinimumInRange(0, 5), 0.0);
  EXPECT_EQ(empty->MaximumOfValid(-1, 1), 0.0);
}

TEST(RealBuffer, ExtremesOfValidItemsSkipMarkers) {
  const double m = kNoValueMarker;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(Reals({m, 5, -2})->MinimumOfValid(0, 3), -2.0);
  EXPECT_EQ(Reals({-m, -5, -2})->MaximumOfValid(0, 3), 0.0);
  EXPECT_EQ(Reals({4, -m, 9, m, nan})->MaximumOfValid(0, 5), 9.0);
  EXPECT_EQ(Reals({4, -m, 9, m, nan})->MinimumOfValid(0, 5), 4.0);
  EXPECT_EQ(Reals({-m, 3})->MinimumOfValid(0, 2), 0.0);  // first counts as 0.0
  EXPECT_EQ(Reals({nan, -3})->MinimumOfValid(0, 2), -3.0);
  EXPECT_EQ(Reals({nan, 3})->MaximumOfValid(0, 2), 3.0);
  EXPECT_EQ(Reals({1, 2})->MinimumOfValid(1, 1), 0.0);
  EXPECT_EQ(Reals({1, 2, -8})->MinimumOfValid(1, 3), -8.0);
}

TEST(RealBuffer, FillJaehneSweeps) {
  TRef<ISLRealBuffer> a = Reals({9, 9, 9, 9});
  a->FillJaehne(1.0);
  const double pi = std::numbers::pi;
  const double expected[] = {0, std::sin(pi / 8), std::sin(pi / 2), std::sin(9 * pi / 8)};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(a->GetValue(i), expected[i], 1e-15) << i;
  a->FillJaehne(-1.0);
  EXPECT_NEAR(a->GetValue(1), expected[1], 1e-15);  // unchanged
  TRef<ISLRealBuffer> one = Reals({0});
  one->FillJaehne(2.5);
  EXPECT_EQ(one->GetValue(0), 2.5);
}

TEST(RealBuffer, FillAndZeroWriteEveryItem) {
  TRef<ISLRealBuffer> a = Reals({1, 2, 3});
  TRef<ISLRealBuffer> clone = RefCast<ISLRealBuffer>(a->Clone());
  a->Fill(0.25);
  EXPECT_EQ(Items(a.get()), (std::vector<double>{0.25, 0.25, 0.25}));
  EXPECT_EQ(clone->GetValue(0), 1.0);
  a->Zero();
  EXPECT_EQ(a->Maximum(), 0.0);
}

TEST(IntegerBuffer, SaturatesAndDividesSafely) {
  TRef<ISLIntegerBuffer> a(new TSLIntegerBuffer(5));
  TRef<ISLIntegerBuffer> b(new TSLIntegerBuffer(5));
  const int32_t left[] = {INT32_MAX, INT32_MIN, 7, -7, 0};
  const int32_t right[] = {1, 1, 0, 0, 0};
  for (uint32_t i = 0; i < 5; ++i) {
    a->SetValue(i, left[i]);
    b->SetValue(i, right[i]);
  }
  a->Add(b.get());
  EXPECT_EQ(a->GetValue(0), INT32_MAX);
  a->Subtract(b.get());
  EXPECT_EQ(a->GetValue(1), INT32_MIN);
  a->Divide(b.get());
  EXPECT_EQ(a->GetValue(2), INT32_MAX);
  EXPECT_EQ(a->GetValue(3), INT32_MIN);
  EXPECT_EQ(a->GetValue(4), 0);
  EXPECT_EQ(a->Minimum(), INT32_MIN);
  EXPECT_EQ(a->Maximum(), INT32_MAX);
  EXPECT_EQ(TRef<ISLIntegerBuffer>(new TSLIntegerBuffer(0u))->Maximum(), 0);
  EXPECT_THROW(a->GetValue(5), ERangeError);
  EXPECT_THROW(a->SetValue(5, 1), ERangeError);
  a->Fill(-3);
  a->Multiply(a.get());
  EXPECT_EQ(a->GetValue(4), 9);
}

TEST(ComplexBuffer, FollowsComplexArithmetic) {
  TRef<ISLComplexBuffer> a(new TSLComplexBuffer(2));
  TRef<ISLComplexBuffer> b(new TSLComplexBuffer(2));
  a->SetValue(0, {1, 2});
  a->SetValue(1, {3, 4});
  b->SetValue(0, {3, -1});
  b->SetValue(1, {0, 0});
  a->Multiply(b.get());
  TSLComplex value;
  a->GetValue(0, &value);
  EXPECT_EQ(value, TSLComplex(5, 5));
  a->Divide(b.get());
  a->GetValue(0, &value);
  EXPECT_NEAR(value.real(), 1, 1e-12);
  EXPECT_NEAR(value.imag(), 2, 1e-12);
  a->GetValue(1, &value);
  EXPECT_EQ(value, TSLComplex(0, 0));  // a zero divisor gives 0
  EXPECT_THROW(a->GetValue(2, &value), ERangeError);
  a->Fill({1, 1});
  a->Add(b.get());
  a->GetValue(0, &value);
  EXPECT_EQ(value, TSLComplex(4, 0));
  EXPECT_EQ(a->ByteSize(), 32u);
}

TEST(BlockBuffer, SaturatesBytes) {
  TRef<ISLBlockBuffer> a(new TSLBlockBuffer(4));
  TRef<ISLBlockBuffer> b(new TSLBlockBuffer(4));
  const uint8_t left[] = {250, 3, 20, 9};
  const uint8_t right[] = {10, 5, 20, 0};
  std::copy(left, left + 4, a->WriteData());
  std::copy(right, right + 4, b->WriteData());
  a->Add(b.get());  // 255 (saturated), 8, 40, 9
  EXPECT_EQ(a->ReadData()[0], 255);
  a->Subtract(b.get());
  a->Subtract(b.get());  // 235, 0 (saturated), 0, 9
  EXPECT_EQ(a->ReadData()[1], 0);
  a->Divide(b.get());
  EXPECT_EQ(a->ReadData()[0], 23);
  EXPECT_EQ(a->ReadData()[3], 255);  // non-zero by zero
  a->Fill(16);
  a->Multiply(a.get());
  EXPECT_EQ(a->ReadData()[0], 255);
  a->Zero();
  EXPECT_EQ(a->ReadData()[3], 0);
}

TEST(RealQueue, IsFirstInFirstOut) {
  TSLRealQueue queue;
  for (double v : {1.5, 2.5, 3.5}) queue.Push(v);
  EXPECT_EQ(queue.Count(), 3u);
  EXPECT_EQ(queue.Items(0), 1.5);
  queue.DropFirst();
  EXPECT_EQ(queue.Items(0), 2.5);
  EXPECT_EQ(queue.Items(1), 3.5);
  EXPECT_THROW(queue.Items(2), ERangeError);
  queue.Clear();
  EXPECT_EQ(queue.Count(), 0u);
  EXPECT_THROW(queue.DropFirst(), ERangeError);
}

}  // namespace
}  // namespace tardivox
