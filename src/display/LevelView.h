#pragma once
// The level view: the colour scale of a display, shown as a vertical bar on the right of the
// data area with a level axis and a rotated caption beside it.
//
// `TSLBasicLevelAxis`: `Color` (white), `Font` (white Arial), `Precision` (3, brought into
// 0 … 18), `FixedPrecision` (False), `Visible` (True), `Logarithmic` (False). `TSLLevelAxis` adds
// `Autoscale` (True), `Min` (0), `Max` (1000) and `OnCustomLabel`.
// `TSLBasicLevelDisplayLevelView` (a tracking axis view, docked right): `BarWidth` (14),
// `GrayScale` (False), `Colors` (the colour stops), the colour function in colour form and in
// pixel form, the scale limits (asked through the callbacks given at creation), the tracked
// value and the bar. `TSLAxisDisplayLevelView` adds `Axis` and draws the level axis;
// `TSLDisplayLevelView` adds `LevelLabel` ("Levels", bold), drawn rotated, running downward.
//
// Width in the layout: BarWidth + 4; with the axis visible, plus the wider of the labels of the
// scale's limits + 9; with the label visible, plus its text height + 2; with neither, plus 2.
// The bar lines up with the data view: its top row shows the scale's upper end, its bottom row
// the lower end.
//
// Every setter stores a changed value and relayouts the display; GrayScale and every change of
// the colour stops first tell the display ColorsChanged (a waterfall then re-renders its image).
//
// Ownership: in the display's view list; the callbacks' contexts are the caller's and must
// outlive the view. Threads: the window's thread, except ColorOf and PixelOf (pure reads of
// settings the window's thread changes only between paints, called while the display renders)
// and ScaleChanged, which any thread may call. Failure: none; a scale of range 0 counts as 1.

#include <functional>
#include <string>
#include <vector>

#include "display/DisplayAxis.h"
#include "display/LevelColors.h"

namespace tardivox {

class TSLBasicLevelAxis : public TPersistent {
 public:
  explicit TSLBasicLevelAxis(std::function<void()> changed);

  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TSLDisplayFont& Font() { return font_; }
  const TSLDisplayFont& Font() const { return font_; }
  int Precision() const { return precision_; }
  void SetPrecision(int precision);
  bool FixedPrecision() const { return fixedPrecision_; }
  void SetFixedPrecision(bool fixed);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Logarithmic() const { return logarithmic_; }
  void SetLogarithmic(bool logarithmic);

 protected:
  void Changed() {
    if (changed_) changed_();
  }

 private:
  std::function<void()> changed_;
  TColor color_ = clWhite;
  TSLDisplayFont font_;
  int precision_ = 3;
  bool fixedPrecision_ = false;
  bool visible_ = true;
  bool logarithmic_ = false;
};

class TSLLevelAxis : public TSLBasicLevelAxis {
 public:
  using TSLCustomLevelLabelEvent = std::function<void(double value, std::string& label)>;

  explicit TSLLevelAxis(std::function<void()> changed);

  bool Autoscale() const { return autoscale_; }
  void SetAutoscale(bool autoscale);
  int32_t Min() const { return min_; }
  void SetMin(int32_t min);
  int32_t Max() const { return max_; }
  void SetMax(int32_t max);
  void SetOnCustomLabel(TSLCustomLevelLabelEvent handler) { onCustomLabel_ = std::move(handler); }
  const TSLCustomLevelLabelEvent& OnCustomLabel() const { return onCustomLabel_; }

 private:
  bool autoscale_ = true;
  int32_t min_ = 0;
  int32_t max_ = 1000;
  TSLCustomLevelLabelEvent onCustomLabel_;
};

class TSLBasicLevelDisplayLevelView : public TSLTrackingOptionalAxis {
 public:
  // The value under a pixel of the data view, and the scale's limits.
  using ValueAtPixel = std::function<double(int x, int y)>;
  using ScaleLimit = std::function<double()>;

  TSLBasicLevelDisplayLevelView(TSLDataDisplay& owner, ValueAtPixel valueAt, ScaleLimit scaleMax,
                                ScaleLimit scaleMin);

  int BarWidth() const { return barWidth_; }
  void SetBarWidth(int width);
  bool GrayScale() const { return grayScale_; }
  void SetGrayScale(bool grayScale);
  TSLLevelDisplayColors& Colors() { return colors_; }

  // The colour of a value v above the scale's lower end within range r (colour form), and the
  // same colour as an image pixel. Values outside 0 … r take the colour of the nearer end.
  // Thread: window (or a thread that renders while the window's thread does not change the
  // colour settings). Locks: none. Real-time: yes.
  TColor ColorOf(double v, double r) const;
  uint32_t PixelOf(double v, double r) const;
  // Tabulates the pixel form for the current colour settings (see TSLLevelPixelTable).
  void BuildPixelTable(TSLLevelPixelTable& table) const { table.Build(grayScale_, plainStops_); }

  double ScaleMax() const;
  double ScaleMin() const;
  bool Logarithmic() const;
  double TrackedValue() const { return trackedValue_; }
  int TrackingLineEnd() const { return trackingLineEnd_; }

  // Repaints the view's area, then TrackPointer.
  void RefreshLevelTracking();
  // When the pointer is over the display's data view and tracking is on, stores the value
  // under the pointer as the tracked value (shown at the view's next paint; no repaint asked,
  // so a display may call it while it paints).
  void TrackPointer();
  // The scale's limits changed: repaints the view's area.
  // Thread: any. Locks: none. Real-time: no (posts a repaint request).
  void ScaleChanged() { InvalidateView(); }

  TSLDockKind GetDockKind() override { return TSLDockKind::Right; }
  void GetSize(int& width, int& height) override;
  void Draw(QPainter& canvas, const TSLDrawContext& context) override;

 protected:
  virtual bool AxisShown() const { return false; }
  virtual int AxisLabelsWidth() const { return 0; }
  virtual bool LevelLabelShown() const { return false; }
  virtual int LevelLabelHeight() const { return 0; }
  // Bar geometry: the data view's top and h (its height minus 1), or false without a data view.
  bool BarGeometry(int& top, int& h) const;
  // The scale's lower end and range after the logarithmic transform (range 0 counts as 1).
  void TransformedScale(double& lower, double& range) const;
  double Transform(double value) const;

 private:
  void ColorsChanged();

  int barWidth_ = 14;
  bool grayScale_ = false;
  TSLLevelDisplayColors colors_;
  std::vector<TColor> plainStops_;
  ValueAtPixel valueAt_;
  ScaleLimit scaleMax_;
  ScaleLimit scaleMin_;
  double trackedValue_ = -10000000.0;
  int trackingLineEnd_ = 0;
};

class TSLAxisDisplayLevelView : public TSLBasicLevelDisplayLevelView {
 public:
  TSLAxisDisplayLevelView(TSLDataDisplay& owner, ValueAtPixel valueAt, ScaleLimit scaleMax,
                          ScaleLimit scaleMin);

  TSLLevelAxis& Axis() { return axis_; }
  const TSLLevelAxis& Axis() const { return axis_; }
  // The text of a level value: the precision rule over the scale's limits, trimmed, then the
  // axis's OnCustomLabel.
  std::string ValueText(double value) const;

  int GetMarginBefore() override;
  int GetMarginAfter() override { return GetMarginBefore(); }
  void Draw(QPainter& canvas, const TSLDrawContext& context) override;
  void DrawLight(QPainter& canvas, const TSLDrawContext& context) override;

 protected:
  bool AxisShown() const override { return axis_.Visible(); }
  int AxisLabelsWidth() const override;
  void DrawAxis(QPainter& canvas, bool full);

 private:
  TSLLevelAxis axis_;
};

class TSLDisplayLevelView : public TSLAxisDisplayLevelView {
 public:
  TSLDisplayLevelView(TSLDataDisplay& owner, ValueAtPixel valueAt, ScaleLimit scaleMax,
                      ScaleLimit scaleMin);

  TSLLevelDisplayLabel& LevelLabel() { return levelLabel_; }
  void Draw(QPainter& canvas, const TSLDrawContext& context) override;

 protected:
  bool LevelLabelShown() const override { return levelLabel_.Visible(); }
  int LevelLabelHeight() const override { return levelLabel_.Font().TextHeight(); }

 private:
  TSLLevelDisplayLabel levelLabel_;
};

}  // namespace tardivox
