#include "app/GradientToolPanel.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace tardivox {

namespace {
constexpr int kCaptionTextIndent = 6;
}

TGradientToolPanel::TGradientToolPanel(const QString& caption, QWidget* parent)
    : QWidget(parent), caption_(caption) {
  // The panel paints every pixel itself.
  setAttribute(Qt::WA_OpaquePaintEvent);
  connect(qApp, &QApplication::focusChanged, this, [this] { UpdateFocus(); });
}

TGradientToolPanel::~TGradientToolPanel() = default;

void TGradientToolPanel::SetCaption(const QString& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  update(0, 0, width(), captionHeight_);
}

void TGradientToolPanel::SetGradient(const QColor& top, const QColor& bottom) {
  gradientTop_ = top;
  gradientBottom_ = bottom;
  update();
}

void TGradientToolPanel::SetCaptionColors(const TCaptionColors& colors) {
  captionColors_ = colors;
  update();
}

void TGradientToolPanel::SetFocusedCaptionColors(const TCaptionColors& colors) {
  focusedCaptionColors_ = colors;
  update();
}

void TGradientToolPanel::SetCaptionHeight(int pixels) {
  captionHeight_ = std::max(0, pixels);
  update();
}

QFont TGradientToolPanel::CaptionFont() const {
  QFont captionFont = font();
  captionFont.setBold(true);
  return captionFont;
}

void TGradientToolPanel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  QLinearGradient body(0, 0, 0, height());
  body.setColorAt(0, gradientTop_);
  body.setColorAt(1, gradientBottom_);
  painter.fillRect(rect(), body);

  if (captionHeight_ <= 0) return;
  const TCaptionColors& colors = CurrentCaptionColors();
  const QRect bar(0, 0, width(), captionHeight_);
  QLinearGradient barGradient(0, 0, 0, captionHeight_);
  barGradient.setColorAt(0, colors.top);
  barGradient.setColorAt(1, colors.bottom);
  painter.fillRect(bar, barGradient);

  const QRect textArea = bar.adjusted(kCaptionTextIndent, 0, -kCaptionTextIndent, 0);
  const QFont captionFont = CaptionFont();
  painter.setFont(captionFont);
  painter.setPen(colors.text);
  const QString shown =
      QFontMetrics(captionFont).elidedText(caption_, Qt::ElideRight, textArea.width());
  painter.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void TGradientToolPanel::UpdateFocus() {
  const QWidget* focus = QApplication::focusWidget();
  const bool focused = focus != nullptr && (focus == this || isAncestorOf(focus));
  if (focused == focused_) return;
  focused_ = focused;
  update(0, 0, width(), captionHeight_);
}

}  // namespace tardivox
