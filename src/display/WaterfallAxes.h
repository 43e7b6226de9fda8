#pragma once
// The two axes of a waterfall display.
//
// `TSLWaterfallXAxis` (the lines): data range 0 … Samples; `MinTick` and `MaxTick`
// (`TSLBasicScopeAxisValue`: `AutoScale` True, `Value` 0 and 1024) give the label range, each
// its Value only while its AutoScale is off and the data range's end otherwise; the visible
// range is kept in whole lines. Labels are the value rounded to an integer; the caption is
// AxisLabel.Text or "X Axis". Setting Samples (0 is taken as 1024) and Reversed tell the
// display (relayout; a new image geometry).
//
// `TSLWaterfallYAxis` (the samples of a line): data range 0 … line length (500 until the first
// line; a line of 0 samples counts as 512). `TicksMode` picks the label range and caption:
// atmManual MinTick … MaxTick (together `MinMax`, default 0 and 500); frequency labelling
// (atmFrequency, or atmAuto after a spectrum start) 0 … the display's frequency maximum with
// the unit's caption ("mHz", "Hz", "kHz", "Mhz", otherwise "Hz (E<number>)"); intensity
// labelling (atmIntensity, or atmAuto after an intensity start) "Intensity"; otherwise 0 …
// line length, "Samples". An AxisLabel.Text replaces the caption. Labels take `Precision`
// (3, 0 … 18) and `FixedPrecision`.
//
// Ownership: in the display's view list. Threads: the window's thread. Failure: none.

#include <string>

#include "display/DisplayAxis.h"

namespace tardivox {

class TSLBasicWaterfall;

// One end of an axis's label range: automatic, or the given value.
class TSLBasicScopeAxisValue : public TPersistent {
 public:
  TSLBasicScopeAxisValue(std::function<void()> changed, double value);

  bool AutoScale() const { return autoScale_; }
  void SetAutoScale(bool autoScale);
  double Value() const { return value_; }
  void SetValue(double value);
  void Assign(const TSLBasicScopeAxisValue& source);

 private:
  std::function<void()> changed_;
  bool autoScale_ = true;
  double value_;
};

class TSLWaterfallXAxis : public TSLDisplayXAxis {
 public:
  explicit TSLWaterfallXAxis(TSLBasicWaterfall& owner);

  TSLBasicScopeAxisValue& MinTick() { return minTick_; }
  TSLBasicScopeAxisValue& MaxTick() { return maxTick_; }
  void SetSamples(int samples) override;
  void SetReversed(bool reversed) override;

 protected:
  void CalcVisibleRange(double& min, double& max) override;
  void CalcLabelRange(double& min, double& max) override;
  int LabelPrecision() const override { return 0; }
  bool LabelFixedPrecision() const override { return true; }

 private:
  TSLBasicWaterfall& waterfall_;
  TSLBasicScopeAxisValue minTick_;
  TSLBasicScopeAxisValue maxTick_;
};

enum TSLDisplayAxisTicksMode {
  atmAuto,
  atmBufferSamples,
  atmFrequency,
  atmIntensity,
  atmTime,
  atmManual
};

std::string TicksModeName(TSLDisplayAxisTicksMode mode);
// Raises Exception for a name that is no ticks mode.
TSLDisplayAxisTicksMode TicksModeOf(const std::string& name);

class TSLWaterfallYAxis : public TSLDisplayYAxis {
 public:
  explicit TSLWaterfallYAxis(TSLBasicWaterfall& owner);

  TSLDisplayAxisTicksMode TicksMode() const { return ticksMode_; }
  void SetTicksMode(TSLDisplayAxisTicksMode mode);
  double MinTick() const { return minTick_; }
  double MaxTick() const { return maxTick_; }
  void SetMinMax(double minTick, double maxTick);
  int Precision() const { return precision_; }
  void SetPrecision(int precision);
  bool FixedPrecision() const { return fixedPrecision_; }
  void SetFixedPrecision(bool fixed);

  // The samples per line the axis spans (500 before any line).
  int LineLength() const { return lineLength_; }
  // The oldest line's sample count (0 counts as 512); a change drops the caches and relayouts.
  void SetLineLength(int count);
  bool FrequencyLabels() const;
  bool IntensityLabels() const;
  // The caption drawn along the axis.
  std::string CaptionText() override;

 protected:
  void CalcDataRange(double& min, double& max) override;
  void CalcLabelRange(double& min, double& max) override;
  int LabelPrecision() const override { return precision_; }
  bool LabelFixedPrecision() const override { return fixedPrecision_; }

 private:
  TSLBasicWaterfall& waterfall_;
  TSLDisplayAxisTicksMode ticksMode_ = atmAuto;
  double minTick_ = 0.0;
  double maxTick_ = 500.0;
  int precision_ = 3;
  bool fixedPrecision_ = false;
  int lineLength_ = 500;
};

// The caption of frequency labels for a rate whose magnitude is 10^(3n): "mHz" (n = −1),
// "Hz" (0), "kHz" (1), "Mhz" (2), otherwise "Hz (E" −3n ")".
std::string FrequencyUnit(int n);

}  // namespace tardivox
