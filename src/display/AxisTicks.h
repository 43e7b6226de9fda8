#pragma once
// The arithmetic of axis labelling, shared by the display axes and the level axis: the
// automatic major step, the placement of major and minor ticks, the number of decimals of a
// value text, and the logarithmic transform of level scales.
//
// Pure functions: safe on any thread. Failure: none; degenerate input (an axis of no length, an
// empty range, a step of 0 or not a number) gives step 1 or no ticks, never a hang: at most
// 100000 ticks are tried in each direction.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tardivox {

// log10(1 + x) for x ≥ 0 and −log10(1 − x) below 0: monotonic through 0.
double LevelLogTransform(double x);

// The automatic major step for an axis of `lengthPx` pixels showing a label range of size
// `range` (signed: the step takes its sign): starting from spacing × range / length, the
// first of 1, 2, 2.5, 5, 10, 20, … × 10^k at or above that start whose pixel distance
// step × length / range reaches `labelExtentPx` + 2. The spacing estimate counts as at least
// 20. A length of 0 or a range of 0 gives 1.
double AutoMajorStep(double lengthPx, double range, double labelExtentPx, double spacingPx);

// Decimals of a value text: `precision` when fixed; 0 for a precision ≤ 0; otherwise
// precision − (truncate(log10 span) + 1), one more when the span |b − a| is below 1 (a span of 0
// counts as 0 before that), never below 0.
int AxisPrecision(int precision, bool fixedPrecision, double a, double b);

// A value formatted with `decimals` decimals, then trimmed of surrounding blanks.
std::string FormatAxisValue(double value, int decimals);

struct TSLAxisTick {
  double value = 0;
  double fraction = 0;  // position in the label range: 0 at its lower end, 1 at its upper end
  bool major = true;
};

// Called for each major tick before it is drawn: may change the step from there on, or
// suppress this tick.
using TSLTickStepHook = std::function<void(double value, double& step, bool& draw)>;

struct TSLTickRequest {
  double low = 0, high = 0;  // label range (either order)
  double step = 1;
  double lengthPx = 0;  // the axis's length in pixels
  double minGapPx = 0;  // a major tick closer than this to the previous drawn one is skipped
  int minorCount = 0;   // minor ticks between two drawn major ticks
  std::optional<double> startFrom;  // raises the first tick when it lies above it
  TSLTickStepHook hook;
};

// Major ticks at multiples of the step, starting from the multiple nearest 0 and walking
// outward in both directions, then the minor ticks between drawn major ticks; sorted by value.
std::vector<TSLAxisTick> PlaceAxisTicks(const TSLTickRequest& request);

}  // namespace tardivox
