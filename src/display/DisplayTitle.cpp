#include "display/DisplayTitle.h"

#include "display/DataDisplay.h"
#include "display/SetIfChanged.h"

namespace tardivox {

TSLDisplayTitle::TSLDisplayTitle(TSLDataDisplay& owner, std::string text)
    : TSLOptionalView(owner),
      text_(std::move(text)),
      font_([&owner] { owner.LayoutChanged(); }, 21, true) {
  PublishValue(
      "Text", [this] { return TPropertyValue(text_); },
      [this](const TPropertyValue& v) { SetText(AsString(v)); }, text_);
  PublishObject("Font", &font_);
}

void TSLDisplayTitle::SetText(std::string text) {
  if (!SetIfChanged(text_, std::move(text))) return;
  Owner().LayoutChanged();
}

void TSLDisplayTitle::GetSize(int& width, int& height) {
  width = -1;
  height = BandSize(font_.TextHeight() + 16);
}

void TSLDisplayTitle::Draw(QPainter& canvas, const TSLDrawContext& /*context*/) {
  const QString text = QString::fromStdString(text_);
  canvas.setFont(font_.ToQFont());
  canvas.setPen(ToQColor(font_.Color()));
  const QFontMetrics metrics = font_.Metrics();
  const int x = (Owner().Width() - metrics.horizontalAdvance(text)) / 2;
  canvas.drawText(x, GetTop() + 4 + metrics.ascent(), text);
}

}  // namespace tardivox
