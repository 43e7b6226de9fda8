#include "display/Waterfall.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>

#include "buffers/IntegerBuffer.h"
#include "display/SetIfChanged.h"
#include "display/WaterfallProperties.h"
#include "pins/NotifyOperations.h"

namespace tardivox {

namespace {

// The value a hit point reports for a position outside its line.
constexpr double kOutsideLine = -100000.0;

int Floor(double v) {
  return static_cast<int>(std::floor(v));
}
int Ceil(double v) {
  return static_cast<int>(std::ceil(v));
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TSLWaterfallLegendView::TSLWaterfallLegendView(TSLBasicWaterfall& owner,
                                               TOWExtCollection* markerGroups)
    : TSLLegendView(owner) {
  AddGroup("Marker Groups", markerGroups);
}

TSLBasicWaterfallDataView::TSLBasicWaterfallDataView(TSLBasicWaterfall& owner)
    : TSLDisplayView(owner), waterfall_(owner) {}

// ---------------------------------------------------------------------------------------------

TSLBasicWaterfall::TSLBasicWaterfall(QWidget* parent)
    : TSLDataDisplay(parent),
      markerGroups_(this, [this] { LayoutChanged(); }),
      highlighting_([this] { HighlightingChanged(); }) {
  refreshTimer_.setInterval(100);
  connect(&refreshTimer_, &QTimer::timeout, this, [this] { RefreshTick(); });
  title_ = &Views().Add(std::make_unique<TSLDisplayTitle>(*this, "Waterfall"));
  xAxis_ = &Views().Add(std::make_unique<TSLWaterfallXAxis>(*this));
  yAxis_ = &Views().Add(std::make_unique<TSLWaterfallYAxis>(*this));
  legend_ = &Views().Add(std::make_unique<TSLWaterfallLegendView>(*this, &markerGroups_));

  PublishValue(
      "Color", [this] { return TPropertyValue(static_cast<int64_t>(Color())); },
      [this](const TPropertyValue& v) { SetColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(clBlack));
  PublishValue(
      "Enabled", [this] { return TPropertyValue(isEnabled()); },
      [this](const TPropertyValue& v) { setEnabled(AsBool(v)); }, true);
  PublishValue(
      "TabStop", [this] { return TPropertyValue(TabStop()); },
      [this](const TPropertyValue& v) { SetTabStop(AsBool(v)); }, true);
  PublishObject("ToolBar", &ToolBar());
  PublishObject("Zooming", &Zooming());
  PublishObject("Title", title_);
  PublishObject("XAxis", xAxis_);
  PublishObject("YAxis", yAxis_);
  PublishObject("Legend", legend_);
  PublishObject("MarkerGroups", &markerGroups_);
  PublishObject("Highlighting", &highlighting_);
  PublishValue(
      "Vertical", [this] { return TPropertyValue(vertical_); },
      [this](const TPropertyValue& v) { SetVertical(AsBool(v)); }, false);
  PublishValue(
      "RefreshInterval", [this] { return TPropertyValue(static_cast<int64_t>(RefreshInterval())); },
      [this](const TPropertyValue& v) {
        SetRefreshInterval(static_cast<int>(std::clamp<int64_t>(AsInteger(v), 0, 3600000)));
      },
      static_cast<int64_t>(100));
}

TSLBasicWaterfall::~TSLBasicWaterfall() {
  refreshTimer_.stop();
}

void TSLBasicWaterfall::SetVertical(bool vertical) {
  if (!SetIfChanged(vertical_, vertical)) return;
  LayoutChanged();
  ImageGeometryChanged();
  Invalidate();
}

void TSLBasicWaterfall::ShowProperties(int page, int item) {
  TSLWaterfallPropertiesForm form(*this, page, item);
  form.PlaceBeside(*this);
  form.exec();
}

void TSLBasicWaterfall::SetRefreshInterval(int milliseconds) {
  refreshTimer_.setInterval(std::max(milliseconds, 0));
}

double TSLBasicWaterfall::GetZoomXMin() const {
  return xAxis_->VisibleMin();
}
double TSLBasicWaterfall::GetZoomXMax() const {
  return xAxis_->VisibleMax();
}
double TSLBasicWaterfall::GetZoomYMin() const {
  return yAxis_->VisibleMin();
}
double TSLBasicWaterfall::GetZoomYMax() const {
  return yAxis_->VisibleMax();
}

namespace {

// min … max widened to at least `minSpan` about its centre (whole units when `whole`), then
// moved inside lo … hi (a range wider than lo … hi becomes lo … hi).
void KeepInside(double& min, double& max, double lo, double hi, double minSpan, bool whole) {
  if (max < min) std::swap(min, max);
  const double room = std::max(hi - lo, 0.0);
  double span = std::clamp(max - min, std::min(minSpan, room), room);
  if (span != max - min) min = (min + max - span) / 2;
  if (whole) {
    min = std::floor(min);
    span = std::min(std::ceil(span), room);
  }
  min = std::clamp(min, lo, hi - span);
  max = min + span;
}

}  // namespace

void TSLBasicWaterfall::ZoomTo(double xMin, double yMin, double xMax, double yMax) {
  // Whole lines, at least 2.
  xMin = std::round(xMin);
  xMax = std::round(xMax);
  KeepInside(xMin, xMax, xAxis_->DataMin(), xAxis_->DataMax(), 2.0, true);
  KeepInside(yMin, yMax, yAxis_->DataMin(), yAxis_->DataMax(), 2.0, false);
  xAxis_->SetZoomRange(xMin, xMax);
  yAxis_->SetZoomRange(yMin, yMax);
  SetZoomed(true);
  if (Zooming().HoldOnZoom()) SetHold(true);
  Invalidate();
}

void TSLBasicWaterfall::Unzoom() {
  xAxis_->ClearZoom();
  yAxis_->ClearZoom();
  SetZoomed(false);
  Invalidate();
}

void TSLBasicWaterfall::ZoomAxis(TSLDisplayAxis& axis, double factor, double centre, double minSpan,
                                 bool whole) {
  double min = centre - (centre - axis.VisibleMin()) * factor;
  double max = centre + (axis.VisibleMax() - centre) * factor;
  if (whole) {
    min = std::round(min);
    max = std::round(max);
  }
  KeepInside(min, max, axis.DataMin(), axis.DataMax(), minSpan, whole);
  axis.SetZoomRange(min, max);
}

void TSLBasicWaterfall::ZoomByFactors(bool push, double factorY, double factorX) {
  if (push) PushZoom(false);
  ZoomAxis(*xAxis_, factorX, (xAxis_->VisibleMin() + xAxis_->VisibleMax()) / 2, 2.0, true);
  ZoomAxis(*yAxis_, factorY, (yAxis_->VisibleMin() + yAxis_->VisibleMax()) / 2, 2.0, false);
  SetZoomed(true);
  ZoomChanged(zoRange);
}

void TSLBasicWaterfall::WheelZoom(QPoint pointer, double factorX, double factorY) {
  const TSLDisplayView* data = GetDataView();
  if (!data || data->GetWidth() <= 0 || data->GetHeight() <= 0) return;
  PushZoom(true);
  // The axis values under the pointer stay where they are.
  double fx = double(pointer.x() - data->GetLeft()) / data->GetWidth();
  double fy = double(pointer.y() - data->GetTop()) / data->GetHeight();
  if (vertical_) std::swap(fx, fy);
  const double lineFraction = xAxis_->Reversed() ? 1.0 - fx : fx;
  const double sampleFraction = vertical_ ? fy : 1.0 - fy;
  const double lineAt =
      xAxis_->VisibleMin() + lineFraction * (xAxis_->VisibleMax() - xAxis_->VisibleMin());
  const double sampleAt =
      yAxis_->VisibleMin() + sampleFraction * (yAxis_->VisibleMax() - yAxis_->VisibleMin());
  ZoomAxis(*xAxis_, factorX, lineAt, 2.0, true);
  ZoomAxis(*yAxis_, factorY, sampleAt, 2.0, false);
  SetZoomed(true);
  ZoomChanged(zoWheel);
}

void TSLBasicWaterfall::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (Zoomed() && event->button() == Qt::LeftButton) {
    for (TSLDisplayAxis* axis :
         {static_cast<TSLDisplayAxis*>(xAxis_), static_cast<TSLDisplayAxis*>(yAxis_)}) {
      if (axis->IsShowing() && axis->Rect().Contains(p.x(), p.y())) {
        panAxis_ = axis;
        panStart_ = p;
        panMin_ = axis->VisibleMin();
        panMax_ = axis->VisibleMax();
      }
    }
  }
  TSLDataDisplay::mousePressEvent(event);
}

void TSLBasicWaterfall::mouseMoveEvent(QMouseEvent* event) {
  TSLDataDisplay::mouseMoveEvent(event);
  const TSLDisplayView* data = GetDataView();
  if (!panAxis_ || !data) return;
  const QPoint p = event->position().toPoint();
  // Along the axis as it is drawn: the X axis runs across when horizontal, down when vertical.
  const bool across = (panAxis_ == xAxis_) != vertical_;
  const int length = across ? data->GetWidth() : data->GetHeight();
  if (length <= 0) return;
  double moved = across ? p.x() - panStart_.x() : panStart_.y() - p.y();
  if (panAxis_->Reversed()) moved = -moved;
  // Dragging the axis carries the data with the pointer: the range moves the other way.
  double shift = -moved / length * (panMax_ - panMin_);
  if (panAxis_ == xAxis_) shift = std::round(shift);
  double min = panMin_ + shift, max = panMax_ + shift;
  KeepInside(min, max, panAxis_->DataMin(), panAxis_->DataMax(), panMax_ - panMin_,
             panAxis_ == xAxis_);
  panAxis_->SetZoomRange(min, max);
  LayoutChanged();
}

void TSLBasicWaterfall::mouseReleaseEvent(QMouseEvent* event) {
  const bool panned = panAxis_ != nullptr;
  panAxis_ = nullptr;
  TSLDataDisplay::mouseReleaseEvent(event);
  if (panned) ZoomChanged(zoRange);
}

// ---------------------------------------------------------------------------------------------

TSLWaterfallDataView::TSLWaterfallDataView(TSLWaterfall& owner)
    : TSLBasicWaterfallDataView(owner), owner_(owner) {}

double TSLWaterfallDataView::ValueAt(int x, int y) {
  double value = 0.0;
  Lookup(x - GetLeft(), y - GetTop(), value);
  return value;
}

bool TSLWaterfallDataView::Lookup(int x, int y, double& value) {
  const int width = GetWidth();
  const int height = GetHeight();
  value = owner_.ScaleMinimum();
  if (width <= 0 || height <= 0) return false;
  auto& xAxis = owner_.XAxis();
  auto& yAxis = owner_.YAxis();
  const int lineFirst = Floor(xAxis.VisibleMin());
  const int lineLast = Ceil(xAxis.VisibleMax());
  const int sampleFirst = Floor(yAxis.VisibleMin());
  const int sampleLast = Ceil(yAxis.VisibleMax());
  int across = x, along = y, acrossSize = width, alongSize = height;
  if (owner_.Vertical()) {
    std::swap(across, along);
    std::swap(acrossSize, alongSize);
  }
  if (xAxis.Reversed()) across = acrossSize - across;
  const int line =
      static_cast<int>(int64_t(lineLast - lineFirst) * across / acrossSize) + lineFirst;
  const int row =
      static_cast<int>(int64_t(sampleLast - sampleFirst) * along / alongSize) + sampleFirst;
  // Horizontal, the top row shows the highest visible sample; vertical, the column is the
  // sample.
  const int sample = owner_.Vertical() ? row : sampleLast + sampleFirst - row - 1;
  if (!owner_.ValueOfLine(line, sample, value)) {
    levelRefreshOwed_ = true;
    value = owner_.ScaleMinimum();
    return false;
  }
  return true;
}

void TSLWaterfallDataView::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
  TSLBasicWaterfallDataView::MouseMove(shift, x, y);
  const bool vertical = owner_.Vertical();
  if (x != pointer_.x()) {
    InvalidateView();
    if (!vertical && owner_.XAxis().IsShowing()) owner_.XAxis().InvalidateView();
  }
  if (y != pointer_.y()) {
    InvalidateView();
    if (vertical && owner_.XAxis().IsShowing()) owner_.XAxis().InvalidateView();
  }
  pointer_ = QPoint(x, y);
  if (zoomDrag_) owner_.Invalidate();
  RefreshHitPoint();
}

void TSLWaterfallDataView::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers /*shift*/,
                                     bool inside, int x, int y) {
  if (button != Qt::LeftButton || !inside || !owner_.Zooming().MouseZoom()) return;
  zoomDrag_ = true;
  owner_.zoomDragHolds_.store(true, std::memory_order_release);
  dragStart_ = QPoint(x, y);
  pointer_ = dragStart_;
}

void TSLWaterfallDataView::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers /*shift*/,
                                   bool /*inside*/, int x, int y) {
  if (button != Qt::LeftButton || !zoomDrag_) return;
  zoomDrag_ = false;
  owner_.zoomDragHolds_.store(false, std::memory_order_release);
  owner_.Invalidate();
  const QPoint end(x, y);
  if (std::abs(end.x() - dragStart_.x()) >= 5 || std::abs(end.y() - dragStart_.y()) >= 5) {
    const int width = std::max(GetWidth(), 1);
    const int height = std::max(GetHeight(), 1);
    auto& xAxis = owner_.XAxis();
    auto& yAxis = owner_.YAxis();
    // Fractions of the view along the line and the sample axis for both corners.
    const auto fractions = [&](QPoint p, double& line, double& sample) {
      double fx = std::clamp(double(p.x() - GetLeft()) / width, 0.0, 1.0);
      double fy = std::clamp(double(p.y() - GetTop()) / height, 0.0, 1.0);
      if (owner_.Vertical()) std::swap(fx, fy);
      line = xAxis.Reversed() ? 1.0 - fx : fx;
      sample = owner_.Vertical() ? fy : 1.0 - fy;
    };
    double l0 = 0, s0 = 0, l1 = 0, s1 = 0;
    fractions(dragStart_, l0, s0);
    fractions(end, l1, s1);
    const double xMin = xAxis.VisibleMin(), xSpan = xAxis.VisibleMax() - xMin;
    const double yMin = yAxis.VisibleMin(), ySpan = yAxis.VisibleMax() - yMin;
    owner_.ZoomToRange(xMin + std::min(l0, l1) * xSpan, yMin + std::min(s0, s1) * ySpan,
                       xMin + std::max(l0, l1) * xSpan, yMin + std::max(s0, s1) * ySpan);
  }
  // What arrived during the drag joins the history unless the zoom holds the display.
  if (!owner_.Hold()) owner_.FlushHeld();
}

void TSLWaterfallDataView::DrawOverlay(QPainter& canvas) {
  if (!zoomDrag_) return;
  canvas.setPen(ToQColor(owner_.Zooming().SelectionColor()));
  canvas.setBrush(Qt::NoBrush);
  canvas.drawRect(QRect(dragStart_, pointer_).normalized());
}

void TSLWaterfallDataView::ForgetPointer() {
  pointer_ = QPoint(-10000, -10000);
  RefreshHitPoint();
}

void TSLWaterfallDataView::RefreshHitPoint() {
  bool valid = false;
  if (Rect().Contains(pointer_.x(), pointer_.y()) &&
      owner_.Highlighting().MouseHitPoint().Enabled() && owner_.GetLineCount() > 0) {
    double value = 0.0;
    if (Lookup(pointer_.x() - GetLeft(), pointer_.y() - GetTop(), value)) {
      valid = true;
      hitValue_ = value;
      if (pointer_ != hitPoint_) {
        hitPoint_ = pointer_;
        // The axis values under the point, as the axes label them.
        const auto labelled = [](TSLDisplayAxis& axis, double fraction) {
          return axis.LabelMin() + fraction * (axis.LabelMax() - axis.LabelMin());
        };
        const int width = std::max(GetWidth(), 1);
        const int height = std::max(GetHeight(), 1);
        double fx = double(pointer_.x() - GetLeft()) / width;
        double fy = double(pointer_.y() - GetTop()) / height;
        if (owner_.Vertical()) std::swap(fx, fy);
        hitX_ = labelled(owner_.XAxis(), owner_.XAxis().Reversed() ? 1.0 - fx : fx);
        hitY_ = labelled(owner_.YAxis(), owner_.Vertical() ? fy : 1.0 - fy);
        InvalidateView();
      }
    }
  }
  if (SetIfChanged(hitPointValid_, valid)) owner_.Invalidate();
}

// ---------------------------------------------------------------------------------------------

TSLWaterfall::TSLWaterfall(TComponent* pinOwner, QWidget* parent) : TSLBasicWaterfall(parent) {
  inputPin_ = std::make_unique<TSLOWComboRealIntSinkPin>(
      pinOwner, [this](TOWPin&, const Guid& type, IOWNotifyOperation& op, TOWStateFlags) {
        return Receive(type, op);
      });
  LockObject().AddDependency(inputPin_.get());
  auto dataView = std::make_unique<TSLWaterfallDataView>(*this);
  TSLWaterfallDataView* view = dataView.get();
  levels_ = &Views().Add(std::make_unique<TSLDisplayLevelView>(
      *this, [view](int x, int y) { return view->ValueAt(x, y); },
      [this] { return ScaleMaximum(); }, [this] { return ScaleMinimum(); }));
  dataView_ = &Views().Add(std::move(dataView));
  history_.Reserve(XAxis().Samples());
  toRender_.reserve(static_cast<size_t>(XAxis().Samples()));
  PublishObject("InputPin", inputPin_.get());
  PublishObject("Levels", levels_);
  RefreshTimer().start();
}

TSLWaterfall::~TSLWaterfall() {
  RefreshTimer().stop();
  // No delivery may reach the display from here on: disconnecting waits for one under way.
  inputPin_.reset();
  std::lock_guard lock(historyLock_);
  history_.Reset(false);
}

bool TSLWaterfall::Receive(const Guid& /*type*/, IOWNotifyOperation& op) {
  if (auto* supplied = OperationAs<TOWSuppliedBufferOperation>(op)) {
    ISLDataBuffer* buffer = supplied->Buffer().get();
    // The display's own buffer object shares the block: a writer of the delivered buffer
    // copies the block first, so the history never changes under the display.
    if (auto* integers = dynamic_cast<ISLIntegerBuffer*>(buffer)) {
      ReceiveBuffer(
          TRef<ISLRealBuffer>(new TSLRealBuffer(integers->ReadData(), integers->Count())));
    } else if (dynamic_cast<TSLMemoryBuffer*>(buffer)) {
      ReceiveBuffer(TRef<ISLRealBuffer>(new TSLRealBuffer(buffer)));
    }
  } else if (OperationIs<TOWStartOperation>(op)) {
    double rate = 10000.0;
    if (auto* start = OperationAs<TOWStartSampleRateOperation>(op)) rate = start->SampleRate();
    if (!(rate > 0.0) || !std::isfinite(rate)) rate = 10000.0;
    sampleRate_.store(rate, std::memory_order_release);
    spectrum_.store(OperationIs<TOWStartSpectrumOperation>(op), std::memory_order_release);
    intensity_.store(OperationIs<TOWStartIntensityOperation>(op), std::memory_order_release);
    Reset();
  }
  return false;
}

void TSLWaterfall::ReceiveBuffer(TRef<ISLRealBuffer> buffer) {
  bool scaleChanged = false;
  {
    std::lock_guard lock(historyLock_);
    const int depth = depth_.load(std::memory_order_acquire);
    if (holding_.load(std::memory_order_acquire) ||
        zoomDragHolds_.load(std::memory_order_acquire)) {
      history_.HoldBuffer(std::move(buffer), depth);
    } else {
      scaleChanged = history_.AddLine(std::move(buffer), depth);
      oldestLength_ = history_.OldestLength();
      newData_ = true;
    }
  }
  if (scaleChanged) scaleNoticePending_.store(true, std::memory_order_release);
}

void TSLWaterfall::Reset() {
  frequencyValid_.store(false, std::memory_order_release);
  streamChanged_.store(true, std::memory_order_release);
  {
    std::lock_guard lock(historyLock_);
    history_.Reset(holding_.load(std::memory_order_acquire));
    oldestLength_ = history_.OldestLength();
    fullRedraw_ = true;
  }
  resetPending_.store(true, std::memory_order_release);
}

void TSLWaterfall::FlushHeld() {
  TOWWriteLockSection section(LockObject());
  bool scaleChanged = false;
  {
    std::lock_guard lock(historyLock_);
    holding_.store(Hold(), std::memory_order_release);
    const int before = history_.NewLineCount();
    // Lines cleared at the flush were on the image: it no longer shows held lines.
    if (history_.Flush(depth_.load(std::memory_order_acquire), scaleChanged)) fullRedraw_ = true;
    if (history_.NewLineCount() != before) newData_ = true;
    oldestLength_ = history_.OldestLength();
  }
  if (scaleChanged) levels_->ScaleChanged();
}

void TSLWaterfall::HoldChanged() {
  FlushHeld();
}

double TSLWaterfall::GetSampleRate() const {
  const double rate = sampleRate_.load(std::memory_order_acquire);
  return rate > 0 ? rate : 10000.0;
}

int TSLWaterfall::GetFrequencyMagnitude() {
  GetFrequencyMax();
  return frequencyMagnitude_;
}

double TSLWaterfall::GetFrequencyMax() {
  if (!frequencyValid_.exchange(true, std::memory_order_acq_rel)) {
    const double rate = GetSampleRate();
    frequencyMagnitude_ = static_cast<int>(std::trunc(std::log10(rate) / 3));
    frequencyMax_ = rate / 2 / std::pow(10.0, 3 * frequencyMagnitude_);
  }
  return frequencyMax_;
}

int TSLWaterfall::GetLineLength() const {
  std::lock_guard lock(historyLock_);
  return history_.OldestLength();
}

int TSLWaterfall::GetLineCount() const {
  std::lock_guard lock(historyLock_);
  return history_.LineCount();
}

int TSLWaterfall::GetNewLineCount() const {
  return history_.NewLineCount();
}

void TSLWaterfall::ClearNewLineCount() {
  std::lock_guard lock(historyLock_);
  history_.ClearNewLineCount();
}

void TSLWaterfall::RefreshTick() {
  TOWReadLockSection section(LockObject());
  // What the delivering thread noticed is repainted here, on the window's thread: that thread
  // never calls into the toolkit (no allocation, no toolkit lock on the capture path).
  const bool reset = resetPending_.exchange(false, std::memory_order_acq_rel);
  if (reset || GetNewLineCount() > 0) {
    Invalidate();
  } else if (scaleNoticePending_.load(std::memory_order_acquire)) {
    levels_->ScaleChanged();
  }
  scaleNoticePending_.store(false, std::memory_order_release);
}

void TSLWaterfall::RefreshLevelTracking() {
  levels_->RefreshLevelTracking();
}

TSLWaterfallScale TSLWaterfall::CurrentScale() const {
  const TSLLevelAxis& axis = levels_->Axis();
  TSLWaterfallScale scale;
  scale.logarithmic = axis.Logarithmic();
  if (axis.Autoscale() && history_.LineCount() > 0) {
    scale.minimum = history_.Minimum();
    scale.maximum = history_.Maximum();
  } else {
    scale.minimum = axis.Min();
    scale.maximum = axis.Max();
  }
  return scale;
}

double TSLWaterfall::ScaleMaximum() {
  std::lock_guard lock(historyLock_);
  return CurrentScale().maximum;
}

double TSLWaterfall::ScaleMinimum() {
  std::lock_guard lock(historyLock_);
  return CurrentScale().minimum;
}

TColor TSLWaterfall::ValueColor(double value) {
  TSLWaterfallScale scale;
  {
    std::lock_guard lock(historyLock_);
    scale = CurrentScale();
  }
  double offset = 0, range = 1;
  scale.Transformed(offset, range);
  return levels_->ColorOf(scale.Transform(value) - offset, range);
}

bool TSLWaterfall::ValueOfLine(int line, int sample, double& value) {
  std::lock_guard lock(historyLock_);
  const int count = history_.LineCount();
  const int shown = std::min(count, depth_.load(std::memory_order_acquire));
  if (line < 0 || line >= shown) return false;
  ISLRealBuffer& buffer = *history_.Line(line + (count - shown));
  value = kOutsideLine;
  if (sample < 0 || sample >= static_cast<int>(buffer.Count())) return true;
  try {
    value = buffer.GetValue(static_cast<uint32_t>(sample));
  } catch (...) {
    value = kOutsideLine;  // a hit outside the line still counts
  }
  return true;
}

TSLWaterfallGeometry TSLWaterfall::CurrentGeometry(int length) {
  return {XAxis().Samples(), length, Vertical(), XAxis().Reversed()};
}

void TSLWaterfall::UpdateImage() {
  TSLWaterfallScale scale;
  TSLWaterfallImage::Plan plan;
  bool track = false;
  {
    std::lock_guard lock(historyLock_);
    const int count = history_.LineCount();
    if (count == 0) return;
    scale = CurrentScale();
    const bool scaleChanged = fullRedraw_ || !drawnScaleValid_ || !(scale == drawnScale_);
    fullRedraw_ = false;
    plan = image_.Prepare(CurrentGeometry(history_.OldestLength()), scaleChanged, count,
                          history_.NewLineCount());
    track = !plan.full;
    if (dataView_->LevelRefreshOwed() && history_.NewLineCount() > 0) {
      dataView_->ClearLevelRefreshOwed();
      track = true;
    }
    history_.ClearNewLineCount();
    toRender_.clear();
    for (int p = plan.firstToRender; p < plan.shown; ++p) {
      toRender_.push_back(history_.Line(plan.skipped + p));
    }
  }
  drawnScale_ = scale;
  drawnScaleValid_ = true;
  // Lines are shared and never written in place: they are converted outside the history
  // lock, so that a long conversion never holds up the delivering thread.
  const uint32_t background = ColorToPixel(ColorToRGB(Color()));
  if (!pixelTableValid_) {
    levels_->BuildPixelTable(pixelTable_);
    pixelTableValid_ = true;
  }
  for (size_t i = 0; i < toRender_.size(); ++i) {
    image_.RenderLine(plan.firstToRender + static_cast<int>(i), *toRender_[i], scale, pixelTable_,
                      background);
  }
  if (plan.full) image_.FillEmpty(plan.shown, background);
  toRender_.clear();
  // The level under the pointer follows the new lines. Not by RefreshLevelTracking: its repaint
  // request, made while painting, would ask for the next paint at once, without end.
  if (track && image_.LinesConvertedLastUpdate() > 0) levels_->TrackPointer();
}

void TSLWaterfall::DrawData(QPainter& canvas) {
  UpdateImage();
  // The image covers the view's inner size, the one the hit point is looked up in.
  const QRect target(dataView_->GetLeft(), dataView_->GetTop(), dataView_->GetWidth(),
                     dataView_->GetHeight());
  const QImage& view =
      image_.Reduced(target.size(), Floor(XAxis().VisibleMin()), Ceil(XAxis().VisibleMax()),
                     Floor(YAxis().VisibleMin()), Ceil(YAxis().VisibleMax()));
  if (!view.isNull()) canvas.drawImage(target.topLeft(), view);
}

void TSLWaterfall::FollowLineLength() {
  int length = 0;
  {
    std::lock_guard lock(historyLock_);
    length = history_.LineCount() > 0 ? oldestLength_ : -1;
  }
  if (length >= 0) YAxis().SetLineLength(length);
  if (streamChanged_.exchange(false, std::memory_order_acq_rel)) {
    YAxis().DropCache();
    LayoutChanged();
  }
}

void TSLWaterfall::PaintWindow(QPainter& device, const QRect& paintRect, const QRegion& region) {
  FollowLineLength();
  TSLBasicWaterfall::PaintWindow(device, paintRect, region);
}

void TSLWaterfall::PaintToCanvas(QPainter& canvas) {
  FollowLineLength();
  TSLBasicWaterfall::PaintToCanvas(canvas);
}

void TSLWaterfall::DrawContent(QPainter& canvas, const QRegion& region,
                               const TSLDrawContext& /*context*/) {
  if (GetLineCount() > 0 && region.intersects(dataView_->Rect().ToQRect())) DrawData(canvas);
  bool refresh = false;
  {
    std::lock_guard lock(historyLock_);
    refresh = newData_;
    newData_ = false;
  }
  if (refresh) dataView_->RefreshHitPoint();
  if (Highlighting().MouseHitPoint().Enabled()) DrawHitPoint(canvas);
}

void TSLWaterfall::DrawDataOverlay(QPainter& canvas, const TSLDrawContext& /*context*/) {
  if (HasMarkerGroups()) DrawMarkers(canvas);
}

std::string TSLWaterfall::GetPointLabelText() {
  return FormatPointLabel(
      Highlighting().MouseHitPoint().PointLabel().Text(), XAxis().ValueText(dataView_->HitXValue()),
      YAxis().ValueText(dataView_->HitYValue()), levels_->ValueText(dataView_->HitValue()));
}

void TSLWaterfall::DrawHitPoint(QPainter& canvas) {
  const TSLChannelMouseHitPoint& settings = Highlighting().MouseHitPoint();
  if (!dataView_->HitPointValid() || !settings.Enabled()) return;
  const QPoint p = dataView_->HitPoint();
  const TColor outline =
      settings.UseChannelColor() ? ValueColor(dataView_->HitValue()) : settings.Color();
  canvas.setRenderHint(QPainter::Antialiasing, false);
  canvas.setPen(QPen(ToQColor(outline), 0));
  canvas.setBrush(ToQColor(Color()));
  // Outline x − 2 … x + 2, y − 2 … y + 2.
  canvas.drawRect(QRect(p.x() - 2, p.y() - 2, 4, 4));
  if (!settings.PointLabel().Visible()) return;

  const TSLDisplayFont& font = settings.PointLabel().Font();
  const QString text = QString::fromStdString(GetPointLabelText());
  const int textWidth = font.TextWidth(text);
  const int textHeight = font.TextHeight();
  const TSLViewRect& view = dataView_->Rect();
  int left = p.x() + 4;
  int top = p.y() - textHeight;
  bool moveLeft = left + textWidth + 4 + 3 > view.right;
  if (top < view.top) {
    top += textHeight;
    moveLeft = true;
  }
  if (moveLeft && p.x() - textWidth - 7 > view.left) left = p.x() - textWidth - 7;
  const QRect box(left, top, textWidth + 4, textHeight + 2);
  canvas.setPen(ToQColor(font.Color()));
  canvas.setBrush(Qt::NoBrush);
  canvas.setFont(font.ToQFont());
  canvas.drawText(box.left() + 2, box.top() + 1 + font.Metrics().ascent(), text);
}

QPoint TSLWaterfall::MarkerPixel(int line, double sample) {
  const TSLViewRect& view = dataView_->Rect();
  const double lineMin = XAxis().VisibleMin(), lineSpan = XAxis().VisibleMax() - lineMin;
  const double sampleMin = YAxis().VisibleMin(), sampleSpan = YAxis().VisibleMax() - sampleMin;
  double lineFraction = lineSpan > 0 ? (line + 0.5 - lineMin) / lineSpan : 0.0;
  if (XAxis().Reversed()) lineFraction = 1.0 - lineFraction;
  const double sampleFraction = sampleSpan > 0 ? (sample - sampleMin) / sampleSpan : 0.0;
  const int width = dataView_->GetWidth(), height = dataView_->GetHeight();
  if (Vertical()) {
    return QPoint(view.left + static_cast<int>(std::lround(sampleFraction * width)),
                  view.top + static_cast<int>(std::lround(lineFraction * height)));
  }
  return QPoint(view.left + static_cast<int>(std::lround(lineFraction * width)),
                view.top + static_cast<int>(std::lround((1.0 - sampleFraction) * height)));
}

void TSLWaterfall::DrawMarkers(QPainter& canvas) {
  for (int g = 0; g < MarkerGroups().Count(); ++g) {
    const TSLWaterfallMarkerGroup& group = MarkerGroups().Items(g);
    if (!group.Visible()) continue;
    for (int m = 0; m < group.Markers().Count(); ++m) {
      const TSLWaterfallMarker& marker = group.Markers().Items(m);
      if (!marker.Visible()) continue;
      group.DrawMarker(canvas, MarkerPixel(marker.Position().X(), marker.Position().Y()));
    }
  }
}

void TSLWaterfall::ColorsChanged() {
  pixelTableValid_ = false;
  {
    std::lock_guard lock(historyLock_);
    fullRedraw_ = true;
  }
  Invalidate();
}

void TSLWaterfall::ImageGeometryChanged() {
  image_.Invalidate();
  Invalidate();
}

void TSLWaterfall::DepthChanged() {
  const int depth = XAxis().Samples();
  {
    std::lock_guard lock(historyLock_);
    history_.Reserve(depth);
    depth_.store(depth, std::memory_order_release);
  }
  toRender_.reserve(static_cast<size_t>(depth));
}

void TSLWaterfall::HighlightingChanged() {
  dataView_->RefreshHitPoint();
  Invalidate();
}

void TSLWaterfall::MouseLeft() {
  TSLBasicWaterfall::MouseLeft();
  dataView_->ForgetPointer();
}

}  // namespace tardivox
