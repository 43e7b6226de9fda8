#include <gtest/gtest.h>

#include <vector>

#include "display/AxisTicks.h"

namespace tardivox {
namespace {

TEST(AxisTicksTest, AutomaticMajorStep) {
  struct Case {
    const char* what;
    double length, range, extent, spacing, expected;
  };
  const std::vector<Case> cases = {
      {"0 ... 1000 over 200 px, spacing 20, text 13: mantissa 1, k = 2", 200, 1000, 13, 20, 100},
      {"a spacing below 20 counts as 20", 200, 1000, 13, 5, 100},
      {"start 200: mantissa 2", 100, 1000, 13, 20, 200},
      {"start 250: mantissa 2.5", 80, 1000, 13, 20, 250},
      {"start 400: mantissa 5", 50, 1000, 13, 20, 500},
      {"start 700: mantissa 1 of the next decade", 200, 7000, 13, 20, 1000},
      {"a wide label raises the step to the next mantissa", 200, 1000, 30, 20, 200},
      {"a very wide label walks on through the decade", 200, 1000, 90, 20, 500},
      {"a negative range gives a negative step", 200, -1000, 13, 20, -100},
      {"a small range", 100, 0.5, 13, 20, 0.1},
      {"an axis of no length uses 1", 0, 1000, 13, 20, 1},
      {"a range of 0 uses 1", 200, 0, 13, 20, 1},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(AutoMajorStep(c.length, c.range, c.extent, c.spacing), c.expected) << c.what;
  }
}

TEST(AxisTicksTest, PrecisionRule) {
  struct Case {
    const char* what;
    int precision;
    bool fixed;
    double a, b;
    int expected;
  };
  const std::vector<Case> cases = {
      {"p = 3 over 0 ... 500: 3 - (2 + 1)", 3, false, 0, 500, 0},
      {"p = 3 over 0 ... 0.5: 3 - (0 + 1) + 1", 3, false, 0, 0.5, 3},
      {"a span of 0 gives 1", 3, false, 5, 5, 1},
      {"p = 3 over 0 ... 2", 3, false, 0, 2, 2},
      {"never below 0", 3, false, 0, 123456, 0},
      {"the order of the ends does not matter", 3, false, 500, 0, 0},
      {"fixed precision is taken as it is", 5, true, 0, 500, 5},
      {"p = 0 gives 0", 0, false, 0, 0.5, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AxisPrecision(c.precision, c.fixed, c.a, c.b), c.expected) << c.what;
  }
  EXPECT_EQ(FormatAxisValue(0.25, 3), "0.250");
  EXPECT_EQ(FormatAxisValue(1234.4, 0), "1234");
  EXPECT_EQ(FormatAxisValue(-2, 1), "-2.0");
}

std::vector<double> MajorValues(const std::vector<TSLAxisTick>& ticks) {
  std::vector<double> values;
  for (const auto& t : ticks) {
    if (t.major) values.push_back(t.value);
  }
  return values;
}

TEST(AxisTicksTest, TicksStartNearZeroAndWalkOutward) {
  TSLTickRequest request;
  request.low = 0;
  request.high = 1000;
  request.step = 250;
  request.lengthPx = 200;
  request.minGapPx = 13;
  EXPECT_EQ(MajorValues(PlaceAxisTicks(request)), (std::vector<double>{0, 250, 500, 750, 1000}));

  request.low = -600;
  request.high = 500;
  EXPECT_EQ(MajorValues(PlaceAxisTicks(request)), (std::vector<double>{-500, -250, 0, 250, 500}));

  request.low = 320;
  request.high = 1400;
  EXPECT_EQ(MajorValues(PlaceAxisTicks(request)), (std::vector<double>{500, 750, 1000, 1250}))
      << "a range above 0 starts at its first multiple";

  request.low = 0;
  request.high = 1000;
  request.startFrom = 100;
  EXPECT_EQ(MajorValues(PlaceAxisTicks(request)), (std::vector<double>{100, 350, 600, 850}))
      << "a custom start above the first multiple raises it";

  request.startFrom.reset();
  const auto reversed = [&] {
    TSLTickRequest r = request;
    std::swap(r.low, r.high);
    return PlaceAxisTicks(r);
  }();
  ASSERT_EQ(reversed.size(), 5u);
  EXPECT_DOUBLE_EQ(reversed.front().fraction, 1.0) << "fractions follow the range's direction";
}

TEST(AxisTicksTest, CrowdedTicksAreSkippedAndMinorTicksFillTheGaps) {
  TSLTickRequest request;
  request.low = 0;
  request.high = 100;
  request.step = 10;
  request.lengthPx = 50;  // 5 px per step
  request.minGapPx = 13;
  EXPECT_EQ(MajorValues(PlaceAxisTicks(request)), (std::vector<double>{0, 30, 60, 90}));

  request.lengthPx = 500;
  request.minorCount = 1;
  request.high = 30;
  const auto ticks = PlaceAxisTicks(request);
  ASSERT_EQ(ticks.size(), 7u);
  EXPECT_FALSE(ticks[1].major);
  EXPECT_DOUBLE_EQ(ticks[1].value, 5);
  EXPECT_DOUBLE_EQ(ticks[6].value, 30);

  request.minorCount = 0;
  request.hook = [](double value, double& step, bool& draw) {
    if (value == 10) draw = false;
    step = 10;
  };
  EXPECT_EQ(MajorValues(PlaceAxisTicks(request)), (std::vector<double>{0, 20, 30}))
      << "the step hook can suppress a tick";

  request.hook = [](double, double& step, bool&) { step = 0; };
  EXPECT_EQ(PlaceAxisTicks(request).size(), 1u) << "a hook that zeroes the step ends the walk";
  request.hook = nullptr;
  request.step = 0;
  EXPECT_TRUE(PlaceAxisTicks(request).empty()) << "no step, no ticks";
  request.step = 1e-300;
  request.high = 1e300;
  EXPECT_LE(PlaceAxisTicks(request).size(), 200000u) << "the walk is bounded";
}

}  // namespace
}  // namespace tardivox
