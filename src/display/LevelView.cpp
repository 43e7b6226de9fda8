#include "display/LevelView.h"

#include <algorithm>
#include <cmath>

#include "display/DataDisplay.h"
#include "display/SetIfChanged.h"

namespace tardivox {

namespace {

// The value whose logarithmic transform is u.
double InverseLogTransform(double u) {
  return u >= 0 ? std::pow(10.0, u) - 1.0 : 1.0 - std::pow(10.0, -u);
}

}  // namespace

TSLBasicLevelAxis::TSLBasicLevelAxis(std::function<void()> changed)
    : changed_(changed), font_(changed) {
  PublishValue(
      "Color", [this] { return TPropertyValue(static_cast<int64_t>(color_)); },
      [this](const TPropertyValue& v) { SetColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(clWhite));
  PublishObject("Font", &font_);
  PublishValue(
      "Precision", [this] { return TPropertyValue(static_cast<int64_t>(precision_)); },
      [this](const TPropertyValue& v) { SetPrecision(static_cast<int>(AsInteger(v))); },
      static_cast<int64_t>(3));
  PublishValue(
      "FixedPrecision", [this] { return TPropertyValue(fixedPrecision_); },
      [this](const TPropertyValue& v) { SetFixedPrecision(AsBool(v)); }, false);
  PublishValue(
      "Visible", [this] { return TPropertyValue(visible_); },
      [this](const TPropertyValue& v) { SetVisible(AsBool(v)); }, true);
  PublishValue(
      "Logarithmic", [this] { return TPropertyValue(logarithmic_); },
      [this](const TPropertyValue& v) { SetLogarithmic(AsBool(v)); }, false);
}

void TSLBasicLevelAxis::SetColor(TColor color) {
  if (!SetIfChanged(color_, color)) return;
  Changed();
}

void TSLBasicLevelAxis::SetPrecision(int precision) {
  precision = std::clamp(precision, 0, 18);
  if (!SetIfChanged(precision_, precision)) return;
  Changed();
}

void TSLBasicLevelAxis::SetFixedPrecision(bool fixed) {
  if (!SetIfChanged(fixedPrecision_, fixed)) return;
  Changed();
}

void TSLBasicLevelAxis::SetVisible(bool visible) {
  if (!SetIfChanged(visible_, visible)) return;
  Changed();
}

void TSLBasicLevelAxis::SetLogarithmic(bool logarithmic) {
  if (!SetIfChanged(logarithmic_, logarithmic)) return;
  Changed();
}

TSLLevelAxis::TSLLevelAxis(std::function<void()> changed) : TSLBasicLevelAxis(changed) {
  PublishValue(
      "Autoscale", [this] { return TPropertyValue(autoscale_); },
      [this](const TPropertyValue& v) { SetAutoscale(AsBool(v)); }, true);
  PublishValue(
      "Min", [this] { return TPropertyValue(static_cast<int64_t>(min_)); },
      [this](const TPropertyValue& v) { SetMin(static_cast<int32_t>(AsInteger(v))); },
      static_cast<int64_t>(0));
  PublishValue(
      "Max", [this] { return TPropertyValue(static_cast<int64_t>(max_)); },
      [this](const TPropertyValue& v) { SetMax(static_cast<int32_t>(AsInteger(v))); },
      static_cast<int64_t>(1000));
}

void TSLLevelAxis::SetAutoscale(bool autoscale) {
  if (!SetIfChanged(autoscale_, autoscale)) return;
  Changed();
}

void TSLLevelAxis::SetMin(int32_t min) {
  if (!SetIfChanged(min_, min)) return;
  Changed();
}

void TSLLevelAxis::SetMax(int32_t max) {
  if (!SetIfChanged(max_, max)) return;
  Changed();
}

TSLBasicLevelDisplayLevelView::TSLBasicLevelDisplayLevelView(TSLDataDisplay& owner,
                                                             ValueAtPixel valueAt,
                                                             ScaleLimit scaleMax,
                                                             ScaleLimit scaleMin)
    : TSLTrackingOptionalAxis(owner),
      colors_(this, [this] { ColorsChanged(); }),
      valueAt_(std::move(valueAt)),
      scaleMax_(std::move(scaleMax)),
      scaleMin_(std::move(scaleMin)) {
  PublishValue(
      "BarWidth", [this] { return TPropertyValue(static_cast<int64_t>(barWidth_)); },
      [this](const TPropertyValue& v) { SetBarWidth(static_cast<int>(AsInteger(v))); },
      static_cast<int64_t>(14));
  PublishValue(
      "GrayScale", [this] { return TPropertyValue(grayScale_); },
      [this](const TPropertyValue& v) { SetGrayScale(AsBool(v)); }, false);
  PublishObject("Colors", &colors_);
}

void TSLBasicLevelDisplayLevelView::SetBarWidth(int width) {
  width = std::max(0, width);
  if (!SetIfChanged(barWidth_, width)) return;
  Owner().LayoutChanged();
}

void TSLBasicLevelDisplayLevelView::SetGrayScale(bool grayScale) {
  if (!SetIfChanged(grayScale_, grayScale)) return;
  Owner().ColorsChanged();
  Owner().LayoutChanged();
}

void TSLBasicLevelDisplayLevelView::ColorsChanged() {
  plainStops_ = colors_.PlainColors();
  Owner().ColorsChanged();
  Owner().LayoutChanged();
}

TColor TSLBasicLevelDisplayLevelView::ColorOf(double v, double r) const {
  return LevelColorOf(v, r, grayScale_, plainStops_);
}

uint32_t TSLBasicLevelDisplayLevelView::PixelOf(double v, double r) const {
  return LevelPixelOf(v, r, grayScale_, plainStops_);
}

double TSLBasicLevelDisplayLevelView::ScaleMax() const {
  return scaleMax_ ? scaleMax_() : 1.0;
}

double TSLBasicLevelDisplayLevelView::ScaleMin() const {
  return scaleMin_ ? scaleMin_() : 0.0;
}

bool TSLBasicLevelDisplayLevelView::Logarithmic() const {
  const auto* withAxis = dynamic_cast<const TSLAxisDisplayLevelView*>(this);
  return withAxis && withAxis->Axis().Logarithmic();
}

double TSLBasicLevelDisplayLevelView::Transform(double value) const {
  return Logarithmic() ? LevelLogTransform(value) : value;
}

void TSLBasicLevelDisplayLevelView::TransformedScale(double& lower, double& range) const {
  lower = Transform(ScaleMin());
  range = Transform(ScaleMax()) - lower;
  if (range == 0 || !std::isfinite(range)) range = 1.0;
}

bool TSLBasicLevelDisplayLevelView::BarGeometry(int& top, int& h) const {
  const TSLDisplayView* data = Owner().GetDataView();
  if (!data) return false;
  top = data->GetTop();
  h = data->GetHeight() - 1;
  return h > 0;
}

void TSLBasicLevelDisplayLevelView::RefreshLevelTracking() {
  InvalidateView();
  TrackPointer();
}

void TSLBasicLevelDisplayLevelView::TrackPointer() {
  const TSLDisplayView* data = Owner().GetDataView();
  if (!data || !Visible() || !TrackCursor() || !Owner().PointerInside() || !valueAt_) return;
  const QPoint p = Owner().PointerPosition();
  if (!data->Rect().Contains(p.x(), p.y())) return;
  const double value = valueAt_(p.x(), p.y());
  if (value != trackedValue_) trackedValue_ = value;
}

void TSLBasicLevelDisplayLevelView::GetSize(int& width, int& height) {
  int band = barWidth_ + 4;
  if (AxisShown()) band += AxisLabelsWidth() + 9;
  trackingLineEnd_ = band - 2;
  if (LevelLabelShown()) band += LevelLabelHeight() + 2;
  if (!AxisShown() && !LevelLabelShown()) band += 2;
  width = BandSize(band);
  height = -1;
}

void TSLBasicLevelDisplayLevelView::Draw(QPainter& canvas, const TSLDrawContext& context) {
  int top = 0, h = 0;
  if (!BarGeometry(top, h)) return;
  const int left = GetLeft();
  const TSLDisplayView* data = Owner().GetDataView();
  const QPoint p = Owner().PointerPosition();
  if (!context.printing && TrackCursor() && Owner().PointerInside() &&
      data->Rect().Contains(p.x(), p.y())) {
    double lower = 0, range = 1;
    TransformedScale(lower, range);
    const double d = Transform(trackedValue_) - lower;
    const double fromBottom = std::round(d / range * h);
    // Nothing tracked yet (the initial value lies far below any scale), or a value outside the
    // scale: no line beside a bar that cannot show it.
    if (fromBottom >= 0 && fromBottom <= h) {
      const int y = top + h - static_cast<int>(fromBottom);
      canvas.setPen(ToQColor(TrackColor()));
      canvas.drawLine(left + 4, y, left + trackingLineEnd_, y);
    }
  }
  for (int i = 0; i <= h; ++i) {
    canvas.fillRect(QRect(left + 2, top + i, barWidth_, 1), ToQColor(ColorOf(h - i, h)));
  }
}

TSLAxisDisplayLevelView::TSLAxisDisplayLevelView(TSLDataDisplay& owner, ValueAtPixel valueAt,
                                                 ScaleLimit scaleMax, ScaleLimit scaleMin)
    : TSLBasicLevelDisplayLevelView(
          owner, std::move(valueAt),
          scaleMax ? std::move(scaleMax) : ScaleLimit([this] { return double(axis_.Max()); }),
          scaleMin ? std::move(scaleMin) : ScaleLimit([this] { return double(axis_.Min()); })),
      axis_([&owner] { owner.LayoutChanged(); }) {
  PublishObject("Axis", &axis_);
}

std::string TSLAxisDisplayLevelView::ValueText(double value) const {
  const int decimals =
      AxisPrecision(axis_.Precision(), axis_.FixedPrecision(), ScaleMin(), ScaleMax());
  std::string text = FormatAxisValue(value, decimals);
  if (axis_.OnCustomLabel()) axis_.OnCustomLabel()(value, text);
  return text;
}

int TSLAxisDisplayLevelView::AxisLabelsWidth() const {
  return std::max(axis_.Font().TextWidth(QString::fromStdString(ValueText(ScaleMax()))),
                  axis_.Font().TextWidth(QString::fromStdString(ValueText(ScaleMin()))));
}

int TSLAxisDisplayLevelView::GetMarginBefore() {
  // Room for half of the end labels, which are centred on the bar's first and last rows.
  return axis_.Visible() ? (axis_.Font().TextHeight() + 1) / 2 : 0;
}

void TSLAxisDisplayLevelView::Draw(QPainter& canvas, const TSLDrawContext& context) {
  TSLBasicLevelDisplayLevelView::Draw(canvas, context);
  DrawAxis(canvas, true);
}

void TSLAxisDisplayLevelView::DrawLight(QPainter& canvas, const TSLDrawContext& /*context*/) {
  DrawAxis(canvas, false);
}

void TSLAxisDisplayLevelView::DrawAxis(QPainter& canvas, bool full) {
  if (!axis_.Visible()) return;
  int top = 0, h = 0;
  if (!BarGeometry(top, h)) return;
  const int x = GetLeft() + BarWidth() + 2;
  const QColor lineColor = ToQColor(axis_.Color());
  canvas.setPen(lineColor);
  if (full) canvas.drawLine(x, top, x, top + h);

  double lower = 0, range = 1;
  TransformedScale(lower, range);
  const double scale = h / range;
  // The bar's bottom row shows the lower end: the ticks line up with the bar's rows.
  const double origin = top + h + std::round(h * lower / range);
  const QFont font = axis_.Font().ToQFont();
  const QFontMetrics metrics(font);
  const int textHeight = axis_.Font().TextHeight();
  canvas.setFont(font);
  const double step = MajorStep(h, range, textHeight, textHeight + 4);
  for (const TSLAxisTick& tick : Ticks(lower, lower + range, step, h, textHeight)) {
    const int y = static_cast<int>(std::lround(origin - tick.value * scale));
    canvas.setPen(lineColor);
    canvas.drawLine(x, y, GetLeft() + BarWidth() + 8, y);
    if (!tick.major) continue;
    const double value = Logarithmic() ? InverseLogTransform(tick.value) : tick.value;
    canvas.setPen(ToQColor(axis_.Font().Color()));
    canvas.drawText(GetLeft() + BarWidth() + 10, y - textHeight / 2 + metrics.ascent(),
                    QString::fromStdString(ValueText(value)));
  }
}

TSLDisplayLevelView::TSLDisplayLevelView(TSLDataDisplay& owner, ValueAtPixel valueAt,
                                         ScaleLimit scaleMax, ScaleLimit scaleMin)
    : TSLAxisDisplayLevelView(owner, std::move(valueAt), std::move(scaleMax), std::move(scaleMin)),
      levelLabel_([&owner] { owner.LayoutChanged(); }) {
  PublishObject("LevelLabel", &levelLabel_);
}

void TSLDisplayLevelView::Draw(QPainter& canvas, const TSLDrawContext& context) {
  TSLAxisDisplayLevelView::Draw(canvas, context);
  if (!levelLabel_.Visible()) return;
  const TSLDisplayView* data = Owner().GetDataView();
  if (!data) return;
  const QString text = QString::fromStdString(levelLabel_.Text());
  const QFont font = levelLabel_.Font().ToQFont();
  const QFontMetrics metrics(font);
  const int textWidth = metrics.horizontalAdvance(text);
  canvas.setFont(font);
  canvas.setPen(ToQColor(levelLabel_.Font().Color()));
  // Running downward: the glyphs' tops face right, so the text's top edge lies at right − 2.
  canvas.save();
  canvas.translate(Rect().right - 2, data->GetTop() + (data->GetHeight() - textWidth) / 2);
  canvas.rotate(90);
  canvas.drawText(0, metrics.ascent(), text);
  canvas.restore();
}

}  // namespace tardivox
