#include "display/AxisTicks.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <string>

namespace tardivox {

namespace {
constexpr int kMaxTicksPerDirection = 100000;
}

double LevelLogTransform(double x) {
  return x >= 0 ? std::log10(1.0 + x) : -std::log10(1.0 - x);
}

double AutoMajorStep(double lengthPx, double range, double labelExtentPx, double spacingPx) {
  if (!(lengthPx > 0) || range == 0 || !std::isfinite(range)) return 1.0;
  const double spacing = std::max(spacingPx, 20.0);
  const double x = spacing * range / lengthPx;
  const double lx = std::log10(std::fabs(x));
  double k = std::floor(lx);
  const double f = lx - k;
  static constexpr double kMantissas[] = {1.0, 2.0, 2.5, 5.0};
  // A start that is exactly a mantissa times a power of ten must pick that mantissa, whatever
  // the last bit of its logarithm.
  constexpr double kSlack = 1e-9;
  int m = 0;
  if (f <= kSlack) {
    m = 0;
  } else if (f <= std::log10(2.0) + kSlack) {
    m = 1;
  } else if (f <= std::log10(2.5) + kSlack) {
    m = 2;
  } else if (f <= std::log10(5.0) + kSlack) {
    m = 3;
  } else {
    m = 0;
    k += 1;
  }
  const double sign = x < 0 ? -1.0 : 1.0;
  // Each round of four mantissas multiplies the step by ten, so a few hundred rounds cover
  // every finite double.
  for (int tries = 0; tries < 1300; ++tries) {
    const double step = sign * kMantissas[m] * std::pow(10.0, k);
    if (step * lengthPx / range >= labelExtentPx + 2) return step;
    if (++m == 4) {
      m = 0;
      k += 1;
    }
  }
  return 1.0;
}

int AxisPrecision(int precision, bool fixedPrecision, double a, double b) {
  if (fixedPrecision) return precision;
  if (precision <= 0) return 0;
  const double span = std::fabs(b - a);
  int d = 0;
  if (span != 0 && std::isfinite(span)) {
    d = precision - (static_cast<int>(std::trunc(std::log10(span))) + 1);
  }
  if (span < 1) d += 1;
  return std::max(d, 0);
}

std::string FormatAxisValue(double value, int decimals) {
  return QString::number(value, 'f', std::clamp(decimals, 0, 18)).trimmed().toStdString();
}

std::vector<TSLAxisTick> PlaceAxisTicks(const TSLTickRequest& request) {
  std::vector<TSLAxisTick> ticks;
  const double low = std::min(request.low, request.high);
  const double high = std::max(request.low, request.high);
  const double span = high - low;
  double step = std::fabs(request.step);
  if (!(span > 0) || !std::isfinite(span) || !(step > 0) || !std::isfinite(step)) return ticks;
  // Positions may run past the ends by rounding only.
  const double tolerance = span * 1e-9;
  const auto fractionOf = [&](double v) {
    const double f = (v - request.low) / (request.high - request.low);
    return f;
  };

  double first = 0;
  if (low > 0) {
    first = std::ceil(low / step) * step;
  } else if (high < 0) {
    first = std::floor(high / step) * step;
  }
  bool walkDown = true;
  if (request.startFrom && *request.startFrom > first) {
    first = *request.startFrom;
    walkDown = false;
  }

  std::vector<TSLAxisTick> majors;
  const auto walk = [&](double start, double direction, std::optional<double> previousPx) {
    double value = start;
    double localStep = step;
    for (int tries = 0; tries < kMaxTicksPerDirection; ++tries) {
      if (value > high + tolerance || value < low - tolerance) break;
      double nextStep = localStep;
      bool draw = true;
      if (request.hook) request.hook(value, nextStep, draw);
      const double px = fractionOf(value) * request.lengthPx;
      if (draw && (!previousPx || std::fabs(px - *previousPx) >= request.minGapPx)) {
        majors.push_back({value, fractionOf(value), true});
        previousPx = px;
      }
      nextStep = std::fabs(nextStep);
      if (!(nextStep > 0) || !std::isfinite(nextStep)) break;
      localStep = nextStep;
      value += direction * localStep;
    }
    return previousPx;
  };
  std::optional<double> firstPx;
  const size_t before = majors.size();
  walk(first, +1.0, std::nullopt);
  if (majors.size() > before && majors[before].value == first) {
    firstPx = majors[before].fraction * request.lengthPx;
  }
  if (walkDown) walk(first - step, -1.0, firstPx);

  std::sort(majors.begin(), majors.end(),
            [](const TSLAxisTick& a, const TSLAxisTick& b) { return a.value < b.value; });
  ticks.reserve(majors.size() * static_cast<size_t>(1 + std::max(0, request.minorCount)));
  for (size_t i = 0; i < majors.size(); ++i) {
    ticks.push_back(majors[i]);
    if (i + 1 == majors.size() || request.minorCount <= 0) continue;
    const double a = majors[i].value;
    const double b = majors[i + 1].value;
    for (int j = 1; j <= request.minorCount; ++j) {
      const double v = a + (b - a) * j / (request.minorCount + 1);
      ticks.push_back({v, fractionOf(v), false});
    }
  }
  return ticks;
}

}  // namespace tardivox
