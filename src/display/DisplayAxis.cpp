#include "display/DisplayAxis.h"

#include <algorithm>
#include <cmath>

#include "core/Exceptions.h"
#include "display/DataDisplay.h"
#include "display/SetIfChanged.h"

namespace tardivox {

namespace {

std::string ModeName(TSLTicksMode mode) {
  return mode == mtmCustom ? "mtmCustom" : "mtmAuto";
}

TSLTicksMode ModeOf(const std::string& name) {
  if (name == "mtmAuto") return mtmAuto;
  if (name == "mtmCustom") return mtmCustom;
  throw Exception("Unknown ticks mode " + name);
}

void Notify(const std::function<void()>& changed) {
  if (changed) changed();
}

}  // namespace

TSLMinorTicks::TSLMinorTicks(std::function<void()> changed) : changed_(std::move(changed)) {
  PublishValue(
      "Count", [this] { return TPropertyValue(static_cast<int64_t>(count_)); },
      [this](const TPropertyValue& v) { SetCount(static_cast<int>(AsInteger(v))); },
      static_cast<int64_t>(0));
}

void TSLMinorTicks::SetCount(int count) {
  count = std::clamp(count, 0, 1000);
  if (!SetIfChanged(count_, count)) return;
  Notify(changed_);
}

TSLTicksStart::TSLTicksStart(std::function<void()> changed) : changed_(std::move(changed)) {
  PublishIdentifier(
      "Mode", [this] { return ModeName(mode_); },
      [this](const std::string& v) { SetMode(ModeOf(v)); }, "mtmAuto");
  PublishValue(
      "StartFrom", [this] { return TPropertyValue(startFrom_); },
      [this](const TPropertyValue& v) { SetStartFrom(AsFloat(v)); }, 0.0);
}

void TSLTicksStart::SetMode(TSLTicksMode mode) {
  if (!SetIfChanged(mode_, mode)) return;
  Notify(changed_);
}

void TSLTicksStart::SetStartFrom(double value) {
  if (!SetIfChanged(startFrom_, value)) return;
  Notify(changed_);
}

TSLMajorTicks::TSLMajorTicks(std::function<void()> changed)
    : changed_(changed), startFrom_(changed) {
  PublishIdentifier(
      "Mode", [this] { return ModeName(mode_); },
      [this](const std::string& v) { SetMode(ModeOf(v)); }, "mtmAuto");
  PublishValue(
      "Step", [this] { return TPropertyValue(step_); },
      [this](const TPropertyValue& v) { SetStep(AsFloat(v)); }, 10.0);
  PublishObject("StartFrom", &startFrom_);
}

void TSLMajorTicks::SetMode(TSLTicksMode mode) {
  if (!SetIfChanged(mode_, mode)) return;
  Notify(changed_);
}

void TSLMajorTicks::SetStep(double step) {
  if (!SetIfChanged(step_, step)) return;
  Notify(changed_);
}

TSLTrackingOptionalAxis::TSLTrackingOptionalAxis(TSLDataDisplay& owner)
    : TSLOptionalAxis(owner),
      minorTicks_([this] { TicksChanged(); }),
      majorTicks_([this] { TicksChanged(); }) {
  PublishValue(
      "TrackCursor", [this] { return TPropertyValue(trackCursor_); },
      [this](const TPropertyValue& v) { SetTrackCursor(AsBool(v)); }, true);
  PublishValue(
      "TrackColor", [this] { return TPropertyValue(static_cast<int64_t>(trackColor_)); },
      [this](const TPropertyValue& v) { SetTrackColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(clRed));
  PublishObject("MinorTicks", &minorTicks_);
  PublishObject("MajorTicks", &majorTicks_);
}

void TSLTrackingOptionalAxis::SetTrackCursor(bool track) {
  if (!SetIfChanged(trackCursor_, track)) return;
  Owner().LayoutChanged();
}

void TSLTrackingOptionalAxis::SetTrackColor(TColor color) {
  if (!SetIfChanged(trackColor_, color)) return;
  Owner().LayoutChanged();
}

void TSLTrackingOptionalAxis::SetOnCustomStep(TSLCustomStepEvent handler) {
  onCustomStep_ = std::move(handler);
  TicksChanged();
}

void TSLTrackingOptionalAxis::TicksChanged() {
  Owner().LayoutChanged();
}

double TSLTrackingOptionalAxis::MajorStep(double lengthPx, double range, double labelExtentPx,
                                          double spacingPx) const {
  if (majorTicks_.Mode() == mtmCustom) return majorTicks_.Step();
  return AutomaticStep(lengthPx, range, labelExtentPx, spacingPx);
}

std::vector<TSLAxisTick> TSLTrackingOptionalAxis::Ticks(double low, double high, double step,
                                                        double lengthPx, double minGapPx) {
  TSLTickRequest request;
  request.low = low;
  request.high = high;
  request.step = step;
  request.lengthPx = lengthPx;
  request.minGapPx = minGapPx;
  request.minorCount = minorTicks_.Count();
  if (majorTicks_.StartFrom().Mode() == mtmCustom) {
    request.startFrom = majorTicks_.StartFrom().StartFrom();
  }
  if (onCustomStep_) {
    request.hook = [this](double value, double& stepValue, bool& draw) {
      onCustomStep_(*this, value, stepValue, draw);
    };
  }
  return PlaceAxisTicks(request);
}

TSLDisplayAxis::TSLDisplayAxis(TSLDataDisplay& owner)
    : TSLTrackingOptionalAxis(owner), font_([this] { TicksChanged(); }) {
  PublishValue(
      "Color", [this] { return TPropertyValue(static_cast<int64_t>(color_)); },
      [this](const TPropertyValue& v) { SetColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(clWhite));
  PublishObject("Font", &font_);
  PublishValue(
      "Reversed", [this] { return TPropertyValue(reversed_); },
      [this](const TPropertyValue& v) { SetReversed(AsBool(v)); }, false);
}

void TSLDisplayAxis::SetColor(TColor color) {
  if (!SetIfChanged(color_, color)) return;
  Owner().LayoutChanged();
}

void TSLDisplayAxis::SetReversed(bool reversed) {
  if (!SetIfChanged(reversed_, reversed)) return;
  TicksChanged();
}

void TSLDisplayAxis::SetOnCustomLabel(TSLCustomAxisLabelEvent handler) {
  onCustomLabel_ = std::move(handler);
  TicksChanged();
}

void TSLDisplayAxis::TicksChanged() {
  DropCache();
  TSLTrackingOptionalAxis::TicksChanged();
}

void TSLDisplayAxis::DropCache() {
  std::fill(std::begin(valid_), std::end(valid_), false);
}

void TSLDisplayAxis::SetZoomRange(double min, double max) {
  zoomed_ = true;
  zoomMin_ = min;
  zoomMax_ = max;
  DropCache();
}

void TSLDisplayAxis::ClearZoom() {
  zoomed_ = false;
  DropCache();
}

void TSLDisplayAxis::CalcVisibleRange(double& min, double& max) {
  if (zoomed_) {
    min = zoomMin_;
    max = zoomMax_;
  } else {
    min = DataMin();
    max = DataMax();
  }
}

void TSLDisplayAxis::CalcLabelRange(double& min, double& max) {
  min = VisibleMin();
  max = VisibleMax();
}

double TSLDisplayAxis::DataMin() {
  if (!valid_[kDataMin]) {
    CalcDataRange(cache_[kDataMin], cache_[kDataMax]);
    valid_[kDataMin] = valid_[kDataMax] = true;
  }
  return cache_[kDataMin];
}

double TSLDisplayAxis::DataMax() {
  DataMin();
  return cache_[kDataMax];
}

double TSLDisplayAxis::VisibleMin() {
  if (!valid_[kVisibleMin]) {
    CalcVisibleRange(cache_[kVisibleMin], cache_[kVisibleMax]);
    valid_[kVisibleMin] = valid_[kVisibleMax] = true;
  }
  return cache_[kVisibleMin];
}

double TSLDisplayAxis::VisibleMax() {
  VisibleMin();
  return cache_[kVisibleMax];
}

double TSLDisplayAxis::LabelMin() {
  if (!valid_[kLabelMin]) {
    CalcLabelRange(cache_[kLabelMin], cache_[kLabelMax]);
    valid_[kLabelMin] = valid_[kLabelMax] = true;
  }
  return cache_[kLabelMin];
}

double TSLDisplayAxis::LabelMax() {
  LabelMin();
  return cache_[kLabelMax];
}

int TSLDisplayAxis::Decimals() {
  if (!valid_[kDecimals]) {
    cache_[kDecimals] =
        AxisPrecision(LabelPrecision(), LabelFixedPrecision(), LabelMin(), LabelMax());
    valid_[kDecimals] = true;
  }
  return static_cast<int>(cache_[kDecimals]);
}

std::string TSLDisplayAxis::ValueText(double value) {
  std::string text = FormatAxisValue(value, Decimals());
  if (onCustomLabel_) onCustomLabel_(*this, value, text);
  return text;
}

int TSLDisplayAxis::LabelExtent() {
  if (!valid_[kLabelExtent]) {
    cache_[kLabelExtent] = std::max(font_.TextWidth(QString::fromStdString(ValueText(LabelMin()))),
                                    font_.TextWidth(QString::fromStdString(ValueText(LabelMax()))));
    valid_[kLabelExtent] = true;
  }
  return static_cast<int>(cache_[kLabelExtent]);
}

double TSLDisplayAxis::Step(double lengthPx) {
  if (!valid_[kStep] || cache_[kStepLength] != lengthPx) {
    const double range = LabelMax() - LabelMin();
    const int textHeight = font_.TextHeight();
    double extent = 0, spacing = 0;
    if (Upright()) {
      extent = textHeight;
      spacing = textHeight + 4;
    } else {
      extent = LabelExtent();
      spacing = font_.TextWidth(QString::fromStdString(ValueText(LabelMax()))) + 8;
    }
    cache_[kStep] = MajorStep(lengthPx, range, extent, spacing);
    cache_[kStepLength] = lengthPx;
    valid_[kStep] = valid_[kStepLength] = true;
  }
  return cache_[kStep];
}

bool TSLDisplayAxis::Upright() {
  return GetDockKind() == TSLDockKind::Left;
}

std::string TSLDisplayAxis::CaptionText() {
  const TSLDisplayLabel* caption = Caption();
  return caption ? caption->Text() : std::string();
}

int TSLDisplayAxis::CaptionBand() {
  TSLDisplayLabel* caption = Caption();
  if (!caption || !caption->Visible()) return 0;
  return caption->Font().TextHeight() + 4;
}

void TSLDisplayAxis::GetSize(int& width, int& height) {
  if (Upright()) {
    width = BandSize(LabelExtent() + 16 + CaptionBand());
    height = -1;
  } else {
    width = -1;
    height = BandSize(font_.TextHeight() + 16 + CaptionBand());
  }
}

int TSLDisplayAxis::GetMarginBefore() {
  // Room for half of the end labels, which are centred on the data area's edges.
  return Upright() ? (font_.TextHeight() + 1) / 2 : (LabelExtent() + 1) / 2;
}

int TSLDisplayAxis::GetMarginAfter() {
  return GetMarginBefore();
}

void TSLDisplayAxis::Draw(QPainter& canvas, const TSLDrawContext& context) {
  const TSLDisplayView* data = Owner().GetDataView();
  if (!data) return;
  const TSLViewRect& r = Rect();
  const TSLViewRect& d = data->Rect();
  const bool upright = Upright();
  const int length = upright ? data->GetHeight() : data->GetWidth();
  const double low = LabelMin();
  const double high = LabelMax();
  const QFont font = font_.ToQFont();
  const QFontMetrics metrics(font);
  const int textHeight = font_.TextHeight();
  canvas.setFont(font);
  canvas.setBrush(Qt::NoBrush);
  const QColor lineColor = ToQColor(color_);
  const QColor textColor = ToQColor(font_.Color());

  // Pixel of a fraction of the label range along the axis.
  const auto position = [&](double fraction) {
    if (reversed_) fraction = 1.0 - fraction;
    const int offset = static_cast<int>(std::lround(fraction * length));
    return upright ? d.top + length - offset : d.left + offset;
  };

  canvas.setPen(lineColor);
  if (upright) {
    canvas.drawLine(r.right - 5, d.top, r.right - 5, d.top + length);
  } else {
    canvas.drawLine(d.left, r.top + 5, d.left + length, r.top + 5);
  }
  if (length > 0 && high != low) {
    const double step = Step(length);
    for (const TSLAxisTick& tick : Ticks(low, high, step, length, textHeight)) {
      const int at = position(tick.fraction);
      canvas.setPen(lineColor);
      if (upright) {
        canvas.drawLine(r.right - (tick.major ? 11 : 9), at, r.right - 5, at);
      } else {
        canvas.drawLine(at, r.top + 5, at, r.top + (tick.major ? 12 : 10));
      }
      if (!tick.major) continue;
      const QString text = QString::fromStdString(ValueText(tick.value));
      const int textWidth = metrics.horizontalAdvance(text);
      canvas.setPen(textColor);
      if (upright) {
        const QRect box(r.right - 14 - textWidth, at - metrics.height() / 2, textWidth,
                        metrics.height());
        canvas.drawText(box, Qt::AlignRight | Qt::AlignVCenter, text);
      } else {
        const QRect box(at - textWidth / 2, r.top + 14, textWidth, metrics.height());
        canvas.drawText(box, Qt::AlignHCenter | Qt::AlignTop, text);
      }
    }
  }

  if (!context.printing && TrackCursor() && data->Hovering()) {
    const QPoint p = Owner().PointerPosition();
    canvas.setPen(Qt::NoPen);
    canvas.setBrush(ToQColor(TrackColor()));
    if (upright) {
      const int x = r.right - 5;
      canvas.drawPolygon(
          QPolygon({QPoint(x, p.y()), QPoint(x - 5, p.y() - 3), QPoint(x - 5, p.y() + 3)}));
    } else {
      const int y = r.top + 5;
      canvas.drawPolygon(
          QPolygon({QPoint(p.x(), y), QPoint(p.x() - 3, y + 5), QPoint(p.x() + 3, y + 5)}));
    }
    canvas.setBrush(Qt::NoBrush);
  }

  TSLDisplayLabel* caption = Caption();
  if (!caption || !caption->Visible()) return;
  const QString text = QString::fromStdString(CaptionText());
  if (text.isEmpty()) return;
  const QFont captionFont = caption->Font().ToQFont();
  const QFontMetrics captionMetrics(captionFont);
  const int captionWidth = captionMetrics.horizontalAdvance(text);
  canvas.setFont(captionFont);
  canvas.setPen(ToQColor(caption->Font().Color()));
  if (upright) {
    // Reads from bottom to top, centred on the data area's height.
    canvas.save();
    canvas.translate(r.left + 2, d.top + (data->GetHeight() + captionWidth) / 2);
    canvas.rotate(-90);
    canvas.drawText(0, captionMetrics.ascent(), text);
    canvas.restore();
  } else {
    const int x = d.left + (data->GetWidth() - captionWidth) / 2;
    canvas.drawText(x, r.top + textHeight + 16 + captionMetrics.ascent(), text);
  }
}

TSLDisplayXAxis::TSLDisplayXAxis(TSLDataDisplay& owner)
    : TSLDisplayAxis(owner), axisLabel_([this] { TicksChanged(); }) {
  PublishObject("AxisLabel", &axisLabel_);
  PublishValue(
      "Samples", [this] { return TPropertyValue(static_cast<int64_t>(samples_)); },
      [this](const TPropertyValue& v) { SetSamples(static_cast<int>(AsInteger(v))); },
      static_cast<int64_t>(512));
}

void TSLDisplayXAxis::SetSamples(int samples) {
  if (samples <= 0) samples = 1024;
  if (!SetIfChanged(samples_, samples)) return;
  TicksChanged();
}

TSLDockKind TSLDisplayXAxis::GetDockKind() {
  return Owner().IsVertical() ? TSLDockKind::Left : TSLDockKind::Bottom;
}

std::string TSLDisplayXAxis::CaptionText() {
  return axisLabel_.Text().empty() ? std::string("X Axis") : axisLabel_.Text();
}

void TSLDisplayXAxis::CalcDataRange(double& min, double& max) {
  min = 0;
  max = samples_;
}

TSLDisplayYAxis::TSLDisplayYAxis(TSLDataDisplay& owner)
    : TSLDisplayAxis(owner), axisLabel_([this] { TicksChanged(); }) {
  PublishObject("AxisLabel", &axisLabel_);
}

void TSLDisplayYAxis::SetDataRange(double min, double max) {
  if (min == dataMin_ && max == dataMax_) return;
  dataMin_ = min;
  dataMax_ = max;
  TicksChanged();
}

TSLDockKind TSLDisplayYAxis::GetDockKind() {
  return Owner().IsVertical() ? TSLDockKind::Bottom : TSLDockKind::Left;
}

std::string TSLDisplayYAxis::CaptionText() {
  return axisLabel_.Text().empty() ? std::string("Y Axis") : axisLabel_.Text();
}

void TSLDisplayYAxis::CalcDataRange(double& min, double& max) {
  min = dataMin_;
  max = dataMax_;
}

}  // namespace tardivox
