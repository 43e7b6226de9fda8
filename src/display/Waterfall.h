#pragma once
// TSLWaterfall: a display that keeps the recent history of one real-valued signal and shows
// it as a scrolling colour image. Every buffer arriving on `InputPin` becomes one line (a
// column when horizontal, the default), every sample one pixel of it, coloured by the level
// view's colour scale (`Levels`); the newest line enters at the right edge (left when
// `XAxis.Reversed`; bottom, or top, when `Vertical`) and the oldest leaves once `XAxis.Samples`
// lines are held.
//
// `TSLBasicWaterfall` is the frame of it: title ("Waterfall"), the two axes, the legend with
// its "Marker Groups" group, the marker groups, the highlighting and hit point, the hold
// state, the refresh timer (`RefreshInterval`, 100 ms) and the image. `TSLWaterfall` adds the
// input pin, the history and the level view.
//
// Intake (any delivering thread, normally the capture thread). A start operation of any kind
// remembers the sample rate (10000.0 unless it carries a positive one) and the spectrum and
// intensity kinds, and starts a new history (on hold: the old lines stay visible until the
// hold ends). A real buffer, a memory buffer of another stream, or an integer buffer (converted
// to reals) becomes a line; while on hold, or while a mouse-zoom drag is under way, buffers are
// held back instead (at most `XAxis.Samples`). A buffer costs O(1) under the history lock, and
// no system allocation once the history reached its depth. The delivering thread never calls
// into the toolkit: the refresh tick (window's thread) repaints the control when lines arrived
// or a stream started, and the level view's area when an extreme of the colour scale moved.
//
// Drawing (window's thread). Each paint composes the whole control off-screen and copies it
// once. The history image is brought up to date incrementally (only new lines are converted;
// see TSLWaterfallImage) and averaged onto the data view.
//
// Settings of the stored form: see the property list published by the constructor; object
// properties (Title, XAxis, YAxis, Legend, MarkerGroups, Highlighting, Levels, ToolBar,
// Zooming) publish their own. `Enabled` is the control's input switch only: intake, timer and
// drawing go on while it is False.
//
// Ownership: the display owns its views, pin, history and timer; the pin belongs to
// `pinOwner` for naming (the component a stored layout knows the display by). Destruction
// disconnects the pin first, so no delivery reaches a display being destroyed.
// Threads: the window's thread for everything but the pin's deliveries (see above).
// Locks: the pin and the lock owner (`LockObject`) form one lock group (rank: group); the
// history lock is taken inside it (rank: waterfall history — see docs/ARCHITECTURE.md). Failure: an
// error while painting is swallowed (the paint shows what was drawn); buffers that are no real,
// integer or memory buffers are ignored.

#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/DataDisplay.h"
#include "display/DisplayLegend.h"
#include "display/DisplayTitle.h"
#include "display/LevelView.h"
#include "display/WaterfallAxes.h"
#include "display/WaterfallBuffers.h"
#include "display/WaterfallImage.h"
#include "display/WaterfallMarkers.h"
#include "locks/OWObject.h"
#include "model/Persistent.h"
#include "pins/RealPins.h"

namespace tardivox {

class TComponent;
class TSLWaterfall;
class TSLBasicWaterfall;

// The legend of a waterfall: one group, "Marker Groups".
class TSLWaterfallLegendView : public TSLLegendView {
 public:
  TSLWaterfallLegendView(TSLBasicWaterfall& owner, TOWExtCollection* markerGroups);
};

// The data view: draws the history image and answers the value under the pointer.
class TSLBasicWaterfallDataView : public TSLDisplayView {
 public:
  explicit TSLBasicWaterfallDataView(TSLBasicWaterfall& owner);

  void GetSize(int& width, int& height) override { width = height = -1; }
  TSLDockKind GetDockKind() override { return TSLDockKind::Fill; }

 protected:
  TSLBasicWaterfall& waterfall_;
};

class TSLWaterfallDataView : public TSLBasicWaterfallDataView {
 public:
  explicit TSLWaterfallDataView(TSLWaterfall& owner);

  // The value under client pixel (x, y): a sample of a held line, the scale's minimum over a
  // column that holds no line (a level refresh is then owed), −100000.0 outside the line.
  double ValueAt(int x, int y) override;
  void MouseMove(Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, bool inside, int x,
                 int y) override;
  void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, bool inside, int x,
               int y) override;
  void DrawOverlay(QPainter& canvas) override;

  // Recomputes the hit point from the last pointer position.
  void RefreshHitPoint();
  bool HitPointValid() const { return hitPointValid_; }
  QPoint HitPoint() const { return hitPoint_; }
  double HitValue() const { return hitValue_; }
  double HitXValue() const { return hitX_; }
  double HitYValue() const { return hitY_; }
  bool LevelRefreshOwed() const { return levelRefreshOwed_; }
  void ClearLevelRefreshOwed() { levelRefreshOwed_ = false; }
  bool ZoomDragging() const { return zoomDrag_; }
  // Forgets the pointer (it left the control).
  void ForgetPointer();

 private:
  friend class TSLWaterfall;
  // Looks the value up for a pointer relative to the view; false when no line is there.
  bool Lookup(int x, int y, double& value);

  TSLWaterfall& owner_;
  bool levelRefreshOwed_ = false;
  bool zoomDrag_ = false;
  QPoint dragStart_;
  QPoint pointer_{-10000, -10000};
  double hitX_ = 0.0, hitY_ = 0.0;
  QPoint hitPoint_{-10000, -10000};
  bool hitPointValid_ = false;
  double hitValue_ = 0.0;
};

class TSLBasicWaterfall : public TSLDataDisplay, public TPersistent {
  Q_OBJECT

 public:
  explicit TSLBasicWaterfall(QWidget* parent = nullptr);
  ~TSLBasicWaterfall() override;

  TSLDisplayTitle& Title() { return *title_; }
  TSLWaterfallXAxis& XAxis() { return *xAxis_; }
  TSLWaterfallYAxis& YAxis() { return *yAxis_; }
  TSLWaterfallLegendView& Legend() { return *legend_; }
  TSLWaterfallMarkerGroups& MarkerGroups() { return markerGroups_; }
  TSLWaterfallHighlighting& Highlighting() { return highlighting_; }
  bool Vertical() const { return vertical_; }
  void SetVertical(bool vertical);
  int RefreshInterval() const { return refreshTimer_.interval(); }
  void SetRefreshInterval(int milliseconds);
  // The lock owner: its write section excludes every delivery to the display.
  TOWObject& LockObject() { return lockObject_; }

  virtual bool HasMarkerGroups() const { return markerGroups_.Count() > 0; }
  virtual double GetSampleRate() const = 0;
  virtual double GetFrequencyMin() const { return 0.0; }
  virtual double GetFrequencyMax() = 0;
  // The magnitude n of the rate (10^(3n)) that frequency labels are given in.
  virtual int GetFrequencyMagnitude() = 0;
  virtual bool SpectrumStream() const { return false; }
  virtual bool IntensityStream() const { return false; }
  virtual int GetLineLength() const = 0;
  virtual int GetLineCount() const = 0;
  virtual int GetNewLineCount() const = 0;
  virtual void ClearNewLineCount() = 0;
  // The refresh timer's tick: repaints when lines arrived since the last draw.
  virtual void RefreshTick() = 0;
  virtual void RefreshLevelTracking() {}
  // XAxis.Samples changed (the history adapts at its next line).
  virtual void DepthChanged() {}

  bool IsVertical() const override { return vertical_; }
  bool HasProperties() const override { return HasMarkerGroups(); }
  // Opens the modal "Settings" dialog (TSLWaterfallPropertiesForm) beside the display.
  void ShowProperties(int page, int item) override;
  std::string GetPrintTitle() const override { return title_->Text(); }

  // Zooming acts on the two axes: lines (whole, at least 2) and samples (at least 2).
  double GetZoomXMin() const override;
  double GetZoomXMax() const override;
  double GetZoomYMin() const override;
  double GetZoomYMax() const override;
  void ZoomTo(double xMin, double yMin, double xMax, double yMax) override;
  void Unzoom() override;
  void WheelZoom(QPoint pointer, double factorX, double factorY) override;
  void ZoomByFactors(bool push, double factorY, double factorX) override;

 protected:
  QTimer& RefreshTimer() { return refreshTimer_; }
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // A zoom of one axis by `factor` about `centre`, kept within the data range and minimum span.
  void ZoomAxis(TSLDisplayAxis& axis, double factor, double centre, double minSpan, bool whole);
  // Axis panning while zoomed: the axis dragged, its start point and range.
  TSLDisplayAxis* panAxis_ = nullptr;
  QPoint panStart_;
  double panMin_ = 0, panMax_ = 0;

  TOWObject lockObject_;
  TSLWaterfallMarkerGroups markerGroups_;
  QTimer refreshTimer_;
  TSLDisplayTitle* title_ = nullptr;
  TSLWaterfallXAxis* xAxis_ = nullptr;
  TSLWaterfallYAxis* yAxis_ = nullptr;
  TSLWaterfallLegendView* legend_ = nullptr;
  TSLWaterfallHighlighting highlighting_;
  bool vertical_ = false;
};

class TSLWaterfall : public TSLBasicWaterfall {
  Q_OBJECT

 public:
  explicit TSLWaterfall(TComponent* pinOwner = nullptr, QWidget* parent = nullptr);
  ~TSLWaterfall() override;

  TSLOWComboRealIntSinkPin& InputPin() { return *inputPin_; }
  TSLDisplayLevelView& Levels() { return *levels_; }
  TSLWaterfallDataView& DataView() { return *dataView_; }

  double GetSampleRate() const override;
  double GetFrequencyMax() override;
  int GetFrequencyMagnitude() override;
  bool SpectrumStream() const override { return spectrum_; }
  bool IntensityStream() const override { return intensity_; }
  int GetLineLength() const override;
  int GetLineCount() const override;
  // Thread: any. Locks: none (atomic read). Real-time: yes.
  int GetNewLineCount() const override;
  void ClearNewLineCount() override;
  void RefreshTick() override;
  void RefreshLevelTracking() override;

  // The colour scale's ends: the history's extremes while autoscaling with lines held, else
  // Levels.Axis.Min and Max.
  double ScaleMaximum();
  double ScaleMinimum();
  // The colour of a value as the image shows it (colour form).
  TColor ValueColor(double value);
  // The value under a shown position's sample, for the hit point: false when no line is held
  // there; −100000.0 (and true) outside the line.
  bool ValueOfLine(int line, int sample, double& value);
  // The point label's text for the current hit point.
  std::string GetPointLabelText();

  // The history image (the natural picture and the drawing statistics).
  const TSLWaterfallImage& Image() const { return image_; }
  // Brings the history image up to date now, as a paint of the data view does.
  void UpdateImage();

  TSLDisplayView* GetDataView() const override { return dataView_; }
  void ColorsChanged() override;
  void ImageGeometryChanged() override;
  void DepthChanged() override;
  void HoldChanged() override;
  void HighlightingChanged() override;
  void MouseLeft() override;
  void PaintToCanvas(QPainter& canvas) override;

 protected:
  void PaintWindow(QPainter& device, const QRect& paintRect, const QRegion& region) override;
  void DrawContent(QPainter& canvas, const QRegion& region, const TSLDrawContext& context) override;
  void DrawDataOverlay(QPainter& canvas, const TSLDrawContext& context) override;

 private:
  friend class TSLWaterfallDataView;
  // The input pin's handler: start operations and buffers (see the class comment).
  // Thread: the delivering one (capture). Locks: the group lock (held by the delivery), then
  // the history lock for O(1) work. Real-time: yes (no system allocation once the history is
  // full; a start operation resets the history).
  bool Receive(const Guid& type, IOWNotifyOperation& op);
  void ReceiveBuffer(TRef<ISLRealBuffer> buffer);
  void Reset();
  void DrawData(QPainter& canvas);
  // Adds the buffers held back (hold or zoom drag) as lines.
  void FlushHeld();
  // The colour scale from the history and the level settings (history lock held).
  TSLWaterfallScale CurrentScale() const;
  void DrawHitPoint(QPainter& canvas);
  void DrawMarkers(QPainter& canvas);
  // The pixel of a marker at line `line` and sample `sample`.
  QPoint MarkerPixel(int line, double sample);
  // The line length as the Y axis counts it, taken over from the history on this thread.
  void FollowLineLength();
  TSLWaterfallGeometry CurrentGeometry(int length);

  std::unique_ptr<TSLOWComboRealIntSinkPin> inputPin_;
  TSLWaterfallDataView* dataView_ = nullptr;
  TSLDisplayLevelView* levels_ = nullptr;

  // The history and what is kept with it, under historyLock_.
  mutable std::mutex historyLock_;
  TSLWaterfallBuffers history_;
  bool newData_ = false;
  bool fullRedraw_ = true;
  int oldestLength_ = 0;
  // Mirrors of window-thread settings that the delivering thread reads.
  std::atomic<bool> holding_{false};
  std::atomic<bool> zoomDragHolds_{false};
  std::atomic<int> depth_{512};

  // Stream state, written by the delivering thread's start operation.
  std::atomic<double> sampleRate_{10000.0};
  std::atomic<bool> spectrum_{false};
  std::atomic<bool> intensity_{false};
  std::atomic<bool> frequencyValid_{false};
  std::atomic<bool> streamChanged_{false};
  // Repaints the delivering thread asks for, served by the refresh tick.
  std::atomic<bool> resetPending_{false};
  std::atomic<bool> scaleNoticePending_{false};
  double frequencyMax_ = 5.0;
  int frequencyMagnitude_ = 1;

  // The window thread's side of drawing.
  TSLWaterfallImage image_;
  TSLLevelPixelTable pixelTable_;
  bool pixelTableValid_ = false;
  TSLWaterfallScale drawnScale_;
  bool drawnScaleValid_ = false;
  std::vector<TRef<ISLRealBuffer>> toRender_;
};

}  // namespace tardivox
