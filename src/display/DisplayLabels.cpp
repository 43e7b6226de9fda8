#include "display/DisplayLabels.h"

#include "display/SetIfChanged.h"

#include <algorithm>

namespace tardivox {

TSLDisplayFont::TSLDisplayFont(std::function<void()> changed, int heightPx, bool bold, TColor color)
    : heightPx_(heightPx), bold_(bold), color_(color), changed_(std::move(changed)) {
  PublishValue(
      "Name", [this] { return TPropertyValue(name_); },
      [this](const TPropertyValue& v) { SetName(AsString(v)); }, std::string("Arial"));
  PublishValue(
      "Height", [this] { return TPropertyValue(static_cast<int64_t>(heightPx_)); },
      [this](const TPropertyValue& v) { SetHeight(static_cast<int>(AsInteger(v))); },
      static_cast<int64_t>(heightPx));
  PublishValue(
      "Bold", [this] { return TPropertyValue(bold_); },
      [this](const TPropertyValue& v) { SetBold(AsBool(v)); }, bold);
  PublishValue(
      "Color", [this] { return TPropertyValue(static_cast<int64_t>(color_)); },
      [this](const TPropertyValue& v) { SetColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(color));
}

void TSLDisplayFont::SetName(std::string name) {
  if (!SetIfChanged(name_, std::move(name))) return;
  Changed();
}

void TSLDisplayFont::SetHeight(int heightPx) {
  heightPx = std::max(1, heightPx);
  if (!SetIfChanged(heightPx_, heightPx)) return;
  Changed();
}

void TSLDisplayFont::SetBold(bool bold) {
  if (!SetIfChanged(bold_, bold)) return;
  Changed();
}

void TSLDisplayFont::SetColor(TColor color) {
  if (!SetIfChanged(color_, color)) return;
  Changed();
}

void TSLDisplayFont::Assign(const TSLDisplayFont& source) {
  name_ = source.name_;
  heightPx_ = source.heightPx_;
  bold_ = source.bold_;
  color_ = source.color_;
  Changed();
}

const QFont& TSLDisplayFont::ToQFont() const {
  Metrics();
  return cache_->font;
}

const QFontMetrics& TSLDisplayFont::Metrics() const {
  if (!cache_) {
    QFont font(QString::fromStdString(name_));
    font.setPixelSize(heightPx_);
    font.setBold(bold_);
    QFontMetrics metrics(font);
    const int textHeight = metrics.boundingRect(QStringLiteral("Xg")).height();
    cache_.emplace(Cache{font, metrics, textHeight});
  }
  return cache_->metrics;
}

int TSLDisplayFont::TextHeight() const {
  Metrics();
  return cache_->textHeight;
}

void TSLDisplayFont::Changed() {
  cache_.reset();
  if (changed_) changed_();
}

TSLBasicOptionalLabel::TSLBasicOptionalLabel(std::function<void()> changed, bool bold, int heightPx)
    : changed_(changed), font_(changed, heightPx, bold) {
  PublishObject("Font", &font_);
  PublishValue(
      "Visible", [this] { return TPropertyValue(visible_); },
      [this](const TPropertyValue& v) { SetVisible(AsBool(v)); }, true);
}

void TSLBasicOptionalLabel::SetVisible(bool visible) {
  if (!SetIfChanged(visible_, visible)) return;
  Changed();
}

TSLOptionalLabel::TSLOptionalLabel(std::function<void()> changed, std::string text, bool bold,
                                   int heightPx)
    : TSLBasicOptionalLabel(std::move(changed), bold, heightPx), text_(std::move(text)) {
  PublishValue(
      "Text", [this] { return TPropertyValue(text_); },
      [this](const TPropertyValue& v) { SetText(AsString(v)); }, text_);
}

void TSLOptionalLabel::SetText(std::string text) {
  if (!SetIfChanged(text_, std::move(text))) return;
  Changed();
}

}  // namespace tardivox
