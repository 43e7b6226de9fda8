#include "app/RotatedLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTransform>

namespace tardivox {

TRotatedLabel::TRotatedLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
  setAutoFillBackground(false);
}

TRotatedLabel::~TRotatedLabel() = default;

void TRotatedLabel::SetText(const QString& text) {
  text_ = text;
  update();
}

void TRotatedLabel::SetAngleDegrees(int degrees) {
  angleDegrees_ = ((degrees % 360) + 360) % 360;
  update();
}

void TRotatedLabel::SetTextColor(const QColor& color) {
  textColor_ = color;
  update();
}

QSize TRotatedLabel::TextSize() const {
  const QFontMetrics metrics(font());
  const QRectF upright(0, 0, metrics.horizontalAdvance(text_), metrics.height());
  return QTransform().rotate(angleDegrees_).mapRect(upright).size().toSize();
}

void TRotatedLabel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setFont(font());
  painter.setPen(textColor_);
  painter.translate(width() / 2.0, height() / 2.0);
  painter.rotate(angleDegrees_);
  const QFontMetrics metrics(font());
  const int textWidth = metrics.horizontalAdvance(text_);
  const QRect upright(-textWidth / 2 - 1, -metrics.height() / 2, textWidth + 2, metrics.height());
  painter.drawText(upright, Qt::AlignCenter | Qt::TextSingleLine, text_);
}

}  // namespace tardivox
