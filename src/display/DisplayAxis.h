#pragma once
// The axes of a display.
//
// `TSLOptionalAxis` (an optional view) computes the automatic major step.
// `TSLTrackingOptionalAxis` adds `TrackCursor` (True), `TrackColor` (red), `MinorTicks`
// (`Count`, 0), `MajorTicks` (`Mode` mtmAuto or mtmCustom, `Step`, `StartFrom` with its own
// `Mode` and value) and `OnCustomStep`, and places the ticks.
// `TSLDisplayAxis` adds `Color` (white), `Font` (white Arial), `OnCustomLabel`, `Reversed`, and
// caches what it derives — the data range (the values the data can take), the visible range (the
// data range narrowed by zoom), the label range (what the labels show), the decimals of its
// labels, the label extent and the major step — until a change drops the cache (data, zoom,
// ticks settings, orientation, font). It draws its line, its ticks with value labels, the
// tracking mark and its caption, and sizes its band: the label extent + 16 pixels (plus the
// caption's height + 4 while the caption is visible) unless `ViewSize` fixes it.
// `TSLDisplayXAxis` (bottom, or left when the display is vertical) adds `AxisLabel` and
// `Samples` (default 512; 0 is taken as 1024; its data range is 0 … Samples);
// `TSLDisplayYAxis` (left, or bottom when vertical) adds `AxisLabel`, with a data range set by
// its display (SetDataRange, default 0 … 1).
//
// Ownership: in the display's view list; callbacks are the caller's. Threads: the window's
// thread. Failure: none; degenerate ranges draw no ticks.

#include <functional>
#include <string>

#include "display/AxisTicks.h"
#include "display/DisplayLabels.h"
#include "display/DisplayView.h"

namespace tardivox {

enum TSLTicksMode { mtmAuto, mtmCustom };

class TSLMinorTicks : public TPersistent {
 public:
  explicit TSLMinorTicks(std::function<void()> changed);
  int Count() const { return count_; }
  void SetCount(int count);

 private:
  std::function<void()> changed_;
  int count_ = 0;
};

class TSLTicksStart : public TPersistent {
 public:
  explicit TSLTicksStart(std::function<void()> changed);
  TSLTicksMode Mode() const { return mode_; }
  void SetMode(TSLTicksMode mode);
  double StartFrom() const { return startFrom_; }
  void SetStartFrom(double value);

 private:
  std::function<void()> changed_;
  TSLTicksMode mode_ = mtmAuto;
  double startFrom_ = 0.0;
};

class TSLMajorTicks : public TPersistent {
 public:
  explicit TSLMajorTicks(std::function<void()> changed);
  TSLTicksMode Mode() const { return mode_; }
  void SetMode(TSLTicksMode mode);
  double Step() const { return step_; }
  void SetStep(double step);
  TSLTicksStart& StartFrom() { return startFrom_; }
  const TSLTicksStart& StartFrom() const { return startFrom_; }

 private:
  std::function<void()> changed_;
  TSLTicksMode mode_ = mtmAuto;
  double step_ = 10.0;
  TSLTicksStart startFrom_;
};

class TSLOptionalAxis : public TSLOptionalView {
 public:
  using TSLOptionalView::TSLOptionalView;

 protected:
  // The automatic major step (see AutoMajorStep).
  static double AutomaticStep(double lengthPx, double range, double labelExtentPx,
                              double spacingPx) {
    return AutoMajorStep(lengthPx, range, labelExtentPx, spacingPx);
  }
};

class TSLTrackingOptionalAxis : public TSLOptionalAxis {
 public:
  using TSLCustomStepEvent = std::function<void(TSLTrackingOptionalAxis& sender, double sampleValue,
                                                double& step, bool& draw)>;

  explicit TSLTrackingOptionalAxis(TSLDataDisplay& owner);

  bool TrackCursor() const { return trackCursor_; }
  void SetTrackCursor(bool track);
  TColor TrackColor() const { return trackColor_; }
  void SetTrackColor(TColor color);
  TSLMinorTicks& MinorTicks() { return minorTicks_; }
  TSLMajorTicks& MajorTicks() { return majorTicks_; }
  void SetOnCustomStep(TSLCustomStepEvent handler);

 protected:
  // Called by every change of the ticks settings; the base relayouts the display.
  virtual void TicksChanged();
  // The major step over `range` for an axis of `lengthPx` pixels: automatic or `MajorTicks.Step`.
  double MajorStep(double lengthPx, double range, double labelExtentPx, double spacingPx) const;
  // The ticks between low and high with the step and the settings of this axis.
  std::vector<TSLAxisTick> Ticks(double low, double high, double step, double lengthPx,
                                 double minGapPx);

 private:
  bool trackCursor_ = true;
  TColor trackColor_ = clRed;
  TSLMinorTicks minorTicks_;
  TSLMajorTicks majorTicks_;
  TSLCustomStepEvent onCustomStep_;
};

class TSLDisplayAxis : public TSLTrackingOptionalAxis {
 public:
  using TSLCustomAxisLabelEvent =
      std::function<void(TSLDisplayAxis& sender, double sampleValue, std::string& axisLabel)>;

  explicit TSLDisplayAxis(TSLDataDisplay& owner);

  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TSLDisplayFont& Font() { return font_; }
  bool Reversed() const { return reversed_; }
  virtual void SetReversed(bool reversed);
  void SetOnCustomLabel(TSLCustomAxisLabelEvent handler);

  // Derived values, cached until DropCache.
  double DataMin();
  double DataMax();
  double VisibleMin();
  double VisibleMax();
  double LabelMin();
  double LabelMax();
  int Decimals();
  // The widest of the labels for the label range's ends.
  int LabelExtent();
  // The major step for an axis of `lengthPx` pixels.
  double Step(double lengthPx);
  void DropCache();

  // Zoom: the visible range narrowed to min … max, or back to the data range.
  void SetZoomRange(double min, double max);
  void ClearZoom();
  bool Zoomed() const { return zoomed_; }

  // A value's label: the precision rule's decimals, then OnCustomLabel.
  std::string ValueText(double value);
  // Drawn on the left (value labels stacked up the axis) rather than along the bottom.
  bool Upright();

  void GetSize(int& width, int& height) override;
  int GetMarginBefore() override;
  int GetMarginAfter() override;
  void Draw(QPainter& canvas, const TSLDrawContext& context) override;

 protected:
  void TicksChanged() override;
  virtual void CalcDataRange(double& min, double& max) = 0;
  virtual void CalcVisibleRange(double& min, double& max);
  virtual void CalcLabelRange(double& min, double& max);
  virtual int LabelPrecision() const { return 3; }
  virtual bool LabelFixedPrecision() const { return false; }
  // The caption drawn along the axis, or null.
  virtual TSLDisplayLabel* Caption() { return nullptr; }
  virtual std::string CaptionText();

 private:
  enum Slot {
    kDataMin,
    kDataMax,
    kVisibleMin,
    kVisibleMax,
    kLabelMin,
    kLabelMax,
    kDecimals,
    kLabelExtent,
    kStep,
    kStepLength,
    kSlots
  };
  int CaptionBand();

  TColor color_ = clWhite;
  TSLDisplayFont font_;
  bool reversed_ = false;
  TSLCustomAxisLabelEvent onCustomLabel_;
  bool zoomed_ = false;
  double zoomMin_ = 0, zoomMax_ = 0;
  double cache_[kSlots] = {};
  bool valid_[kSlots] = {};
};

class TSLDisplayXAxis : public TSLDisplayAxis {
 public:
  explicit TSLDisplayXAxis(TSLDataDisplay& owner);

  TSLDisplayLabel& AxisLabel() { return axisLabel_; }
  int Samples() const { return samples_; }
  virtual void SetSamples(int samples);
  TSLDockKind GetDockKind() override;

 protected:
  void CalcDataRange(double& min, double& max) override;
  TSLDisplayLabel* Caption() override { return &axisLabel_; }
  // AxisLabel.Text, or "X Axis" when it is empty.
  std::string CaptionText() override;

 private:
  TSLDisplayLabel axisLabel_;
  int samples_ = 512;
};

class TSLDisplayYAxis : public TSLDisplayAxis {
 public:
  explicit TSLDisplayYAxis(TSLDataDisplay& owner);

  TSLDisplayLabel& AxisLabel() { return axisLabel_; }
  void SetDataRange(double min, double max);
  TSLDockKind GetDockKind() override;

 protected:
  void CalcDataRange(double& min, double& max) override;
  TSLDisplayLabel* Caption() override { return &axisLabel_; }
  // AxisLabel.Text, or "Y Axis" when it is empty.
  std::string CaptionText() override;

 private:
  TSLDisplayLabel axisLabel_;
  double dataMin_ = 0.0, dataMax_ = 1.0;
};

}  // namespace tardivox
