#include "display/WaterfallAxes.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "display/EnumNames.h"
#include "display/SetIfChanged.h"
#include "display/Waterfall.h"

namespace tardivox {

namespace {

constexpr std::array<const char*, 6> kTicksModeNames = {
    "atmAuto", "atmBufferSamples", "atmFrequency", "atmIntensity", "atmTime", "atmManual"};

}  // namespace

std::string TicksModeName(TSLDisplayAxisTicksMode mode) {
  return EnumName(kTicksModeNames, mode);
}

TSLDisplayAxisTicksMode TicksModeOf(const std::string& name) {
  return EnumOf<TSLDisplayAxisTicksMode>(kTicksModeNames, name, "ticks mode");
}

std::string FrequencyUnit(int n) {
  switch (n) {
    case -1:
      return "mHz";
    case 0:
      return "Hz";
    case 1:
      return "kHz";
    case 2:
      return "Mhz";
    default:
      // The labels are the frequency divided by 10^(3n): the unit they are in is Hz × 10^(3n).
      return "Hz (E" + std::to_string(3 * n) + ")";
  }
}

TSLBasicScopeAxisValue::TSLBasicScopeAxisValue(std::function<void()> changed, double value)
    : changed_(std::move(changed)), value_(value) {
  PublishValue(
      "AutoScale", [this] { return TPropertyValue(autoScale_); },
      [this](const TPropertyValue& v) { SetAutoScale(AsBool(v)); }, true);
  PublishValue(
      "Value", [this] { return TPropertyValue(value_); },
      [this](const TPropertyValue& v) { SetValue(AsFloat(v)); }, value);
}

void TSLBasicScopeAxisValue::SetAutoScale(bool autoScale) {
  if (SetIfChanged(autoScale_, autoScale) && changed_) changed_();
}

void TSLBasicScopeAxisValue::SetValue(double value) {
  if (!std::isfinite(value)) return;
  if (SetIfChanged(value_, value) && changed_) changed_();
}

void TSLBasicScopeAxisValue::Assign(const TSLBasicScopeAxisValue& source) {
  SetAutoScale(source.autoScale_);
  SetValue(source.value_);
}

TSLWaterfallXAxis::TSLWaterfallXAxis(TSLBasicWaterfall& owner)
    : TSLDisplayXAxis(owner),
      waterfall_(owner),
      minTick_([this] { TicksChanged(); }, 0.0),
      maxTick_([this] { TicksChanged(); }, 1024.0) {
  PublishObject("MinTick", &minTick_);
  PublishObject("MaxTick", &maxTick_);
}

void TSLWaterfallXAxis::SetSamples(int samples) {
  const int before = Samples();
  TSLDisplayXAxis::SetSamples(samples);
  if (Samples() == before) return;
  waterfall_.DepthChanged();
  waterfall_.Invalidate();
}

void TSLWaterfallXAxis::SetReversed(bool reversed) {
  const bool before = Reversed();
  TSLDisplayXAxis::SetReversed(reversed);
  if (Reversed() != before) waterfall_.ImageGeometryChanged();
}

void TSLWaterfallXAxis::CalcVisibleRange(double& min, double& max) {
  TSLDisplayXAxis::CalcVisibleRange(min, max);
  // Whole lines, at least one.
  min = std::floor(min);
  max = std::max(std::ceil(max), min + 1);
}

void TSLWaterfallXAxis::CalcLabelRange(double& min, double& max) {
  // The label ends follow the visible lines unless fixed.
  TSLDisplayXAxis::CalcLabelRange(min, max);
  if (!minTick_.AutoScale()) min = minTick_.Value();
  if (!maxTick_.AutoScale()) max = maxTick_.Value();
}

TSLWaterfallYAxis::TSLWaterfallYAxis(TSLBasicWaterfall& owner)
    : TSLDisplayYAxis(owner), waterfall_(owner) {
  PublishIdentifier(
      "TicksMode", [this] { return TicksModeName(ticksMode_); },
      [this](const std::string& v) { SetTicksMode(TicksModeOf(v)); }, "atmAuto");
  // MinMax: the two ends together; stored as its two values.
  PublishValue(
      "MinTick", [this] { return TPropertyValue(minTick_); },
      [this](const TPropertyValue& v) { SetMinMax(AsFloat(v), maxTick_); }, 0.0);
  PublishValue(
      "MaxTick", [this] { return TPropertyValue(maxTick_); },
      [this](const TPropertyValue& v) { SetMinMax(minTick_, AsFloat(v)); }, 500.0);
  PublishValue(
      "Precision", [this] { return TPropertyValue(static_cast<int64_t>(precision_)); },
      [this](const TPropertyValue& v) {
        SetPrecision(static_cast<int>(std::clamp<int64_t>(AsInteger(v), -1000, 1000)));
      },
      static_cast<int64_t>(3));
  PublishValue(
      "FixedPrecision", [this] { return TPropertyValue(fixedPrecision_); },
      [this](const TPropertyValue& v) { SetFixedPrecision(AsBool(v)); }, false);
}

void TSLWaterfallYAxis::SetTicksMode(TSLDisplayAxisTicksMode mode) {
  if (SetIfChanged(ticksMode_, mode)) TicksChanged();
}

void TSLWaterfallYAxis::SetMinMax(double minTick, double maxTick) {
  if (!std::isfinite(minTick) || !std::isfinite(maxTick)) return;
  if (minTick == minTick_ && maxTick == maxTick_) return;
  minTick_ = minTick;
  maxTick_ = maxTick;
  TicksChanged();
}

void TSLWaterfallYAxis::SetPrecision(int precision) {
  precision = std::clamp(precision, 0, 18);
  if (SetIfChanged(precision_, precision)) TicksChanged();
}

void TSLWaterfallYAxis::SetFixedPrecision(bool fixed) {
  if (SetIfChanged(fixedPrecision_, fixed)) TicksChanged();
}

void TSLWaterfallYAxis::SetLineLength(int count) {
  if (count <= 0) count = 512;
  if (SetIfChanged(lineLength_, count)) TicksChanged();
}

bool TSLWaterfallYAxis::FrequencyLabels() const {
  return ticksMode_ == atmFrequency || (ticksMode_ == atmAuto && waterfall_.SpectrumStream());
}

bool TSLWaterfallYAxis::IntensityLabels() const {
  return ticksMode_ == atmIntensity || (ticksMode_ == atmAuto && waterfall_.IntensityStream());
}

void TSLWaterfallYAxis::CalcDataRange(double& min, double& max) {
  min = 0;
  max = lineLength_;
}

void TSLWaterfallYAxis::CalcLabelRange(double& min, double& max) {
  if (ticksMode_ == atmManual) {
    min = minTick_;
    max = maxTick_;
    return;
  }
  const double top = FrequencyLabels() ? waterfall_.GetFrequencyMax() : lineLength_;
  // Zoomed, the labels follow the visible samples in the same proportion.
  const double dataMax = DataMax();
  if (dataMax > 0) {
    min = VisibleMin() / dataMax * top;
    max = VisibleMax() / dataMax * top;
  } else {
    min = 0;
    max = top;
  }
}

std::string TSLWaterfallYAxis::CaptionText() {
  if (!AxisLabel().Text().empty()) return AxisLabel().Text();
  if (FrequencyLabels()) return FrequencyUnit(waterfall_.GetFrequencyMagnitude());
  if (IntensityLabels()) return "Intensity";
  return "Samples";
}

}  // namespace tardivox
