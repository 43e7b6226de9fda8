#include "display/DisplayToolBar.h"

#include "display/SetIfChanged.h"

#include <QPainterPath>
#include <QPolygon>

namespace tardivox {

namespace {

// Draws glyph `index` in white into a kGlyphSize square at `x`.
void DrawGlyph(QPainter& p, int index, int x) {
  p.save();
  p.translate(x, 0);
  p.setPen(QPen(Qt::white, 1));
  p.setBrush(Qt::white);
  const auto magnifier = [&p](bool plus, bool minus) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.5));
    p.drawEllipse(QRectF(2, 2, 8, 8));
    p.setPen(QPen(Qt::white, 2.5));
    p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
    p.setPen(QPen(Qt::white, 1.2));
    if (minus || plus) p.drawLine(QPointF(4, 6), QPointF(8, 6));
    if (plus) p.drawLine(QPointF(6, 4), QPointF(6, 8));
  };
  const auto curvedArrow = [&p](bool forward) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.5));
    QPainterPath arc;
    if (forward) {
      arc.moveTo(3, 12);
      arc.cubicTo(3, 5, 9, 4, 12, 7);
    } else {
      arc.moveTo(13, 12);
      arc.cubicTo(13, 5, 7, 4, 4, 7);
    }
    p.drawPath(arc);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    if (forward) {
      p.drawPolygon(QPolygonF({QPointF(14, 3), QPointF(14, 10), QPointF(8, 8)}));
    } else {
      p.drawPolygon(QPolygonF({QPointF(2, 3), QPointF(2, 10), QPointF(8, 8)}));
    }
  };
  switch (static_cast<TSLToolButtonKind>(index)) {
    case TSLToolButtonKind::Run:
      p.setPen(Qt::NoPen);
      p.drawPolygon(QPolygon({QPoint(4, 2), QPoint(13, 8), QPoint(4, 14)}));
      break;
    case TSLToolButtonKind::Pause:
      p.fillRect(QRect(4, 3, 3, 10), Qt::white);
      p.fillRect(QRect(9, 3, 3, 10), Qt::white);
      break;
    case TSLToolButtonKind::Copy:
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRect(2, 2, 7, 9));
      p.drawRect(QRect(6, 5, 7, 9));
      break;
    case TSLToolButtonKind::Print:
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRect(4, 2, 7, 4));
      p.drawRect(QRect(1, 6, 13, 5));
      p.drawRect(QRect(4, 9, 7, 5));
      break;
    case TSLToolButtonKind::Save:
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRect(2, 2, 11, 11));
      p.fillRect(QRect(5, 3, 5, 4), Qt::white);
      p.drawRect(QRect(4, 9, 7, 4));
      break;
    case TSLToolButtonKind::Properties:
      p.setBrush(Qt::NoBrush);
      p.drawLine(2, 4, 13, 4);
      p.drawLine(2, 8, 13, 8);
      p.drawLine(2, 12, 13, 12);
      p.fillRect(QRect(9, 3, 3, 3), Qt::white);
      p.fillRect(QRect(4, 7, 3, 3), Qt::white);
      p.fillRect(QRect(7, 11, 3, 3), Qt::white);
      break;
    case TSLToolButtonKind::ZoomIn:
      magnifier(true, false);
      break;
    case TSLToolButtonKind::ZoomOut:
      magnifier(false, true);
      break;
    case TSLToolButtonKind::Unzoom:
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRect(2, 2, 11, 11));
      p.drawLine(4, 4, 11, 11);
      p.drawLine(11, 4, 4, 11);
      break;
    case TSLToolButtonKind::Undo:
      curvedArrow(false);
      break;
    case TSLToolButtonKind::Redo:
      curvedArrow(true);
      break;
  }
  p.restore();
}

QImage Recolored(const QImage& mask, const QColor& color) {
  QImage image = mask;
  QPainter p(&image);
  p.setCompositionMode(QPainter::CompositionMode_SourceIn);
  p.fillRect(image.rect(), color);
  return image;
}

}  // namespace

TSLDisplayToolBar::TSLDisplayToolBar(std::function<void()> changed) : changed_(std::move(changed)) {
  for (int i = 0; i < kToolButtonCount; ++i) buttons_[i].kind = static_cast<TSLToolButtonKind>(i);
  PublishValue(
      "Visible", [this] { return TPropertyValue(visible_); },
      [this](const TPropertyValue& v) { SetVisible(AsBool(v)); }, true);
  PublishValue(
      "AutoHide", [this] { return TPropertyValue(autoHide_); },
      [this](const TPropertyValue& v) { SetAutoHide(AsBool(v)); }, true);
  static const char* const kNames[] = {"GlyphColor",           "BorderColor",
                                       "ButtonColor",          "MouseOverBorderColor",
                                       "MouseOverButtonColor", "MouseDownBorderColor",
                                       "MouseDownButtonColor", "DisabledColor"};
  for (int i = 0; i < 8; ++i) {
    PublishValue(
        kNames[i], [this, i] { return TPropertyValue(static_cast<int64_t>(colors_[i])); },
        [this, i](const TPropertyValue& v) { SetColorAt(i, static_cast<TColor>(AsInteger(v))); },
        static_cast<int64_t>(colors_[i]));
  }
}

void TSLDisplayToolBar::SetVisible(bool visible) {
  if (!SetIfChanged(visible_, visible)) return;
  if (changed_) changed_();
}

void TSLDisplayToolBar::SetAutoHide(bool autoHide) {
  if (!SetIfChanged(autoHide_, autoHide)) return;
  if (changed_) changed_();
}

void TSLDisplayToolBar::SetColorAt(int index, TColor color) {
  if (colors_[index] == color) return;
  colors_[index] = color;
  imagesValid_ = false;
  if (changed_) changed_();
}

void TSLDisplayToolBar::Arrange(QPoint origin) {
  area_ = QRect();
  int x = origin.x();
  for (auto& button : buttons_) {
    if (!button.visible) {
      button.rect = QRect();
      continue;
    }
    button.rect = QRect(x, origin.y(), kButtonSize, kButtonSize);
    area_ = area_.united(button.rect);
    x += kButtonSize + kButtonGap;
  }
}

int TSLDisplayToolBar::ButtonAt(QPoint point) const {
  for (int i = 0; i < kToolButtonCount; ++i) {
    if (buttons_[i].visible && buttons_[i].rect.contains(point)) return i;
  }
  return -1;
}

TSLDisplayToolBar::State TSLDisplayToolBar::StateOf(TSLToolButtonKind kind) const {
  const int i = static_cast<int>(kind);
  if (!buttons_[i].enabled) return State::Disabled;
  if (down_ == i && over_ == i) return State::Down;
  if (over_ == i) return State::Over;
  return State::Normal;
}

bool TSLDisplayToolBar::MouseMove(QPoint point) {
  const int over = ButtonAt(point);
  if (over == over_) return false;
  over_ = over;
  return true;
}

bool TSLDisplayToolBar::MouseDown(QPoint point) {
  const int at = ButtonAt(point);
  if (at < 0 || !buttons_[at].enabled) return false;
  down_ = at;
  over_ = at;
  return true;
}

bool TSLDisplayToolBar::MouseUp(QPoint point) {
  if (down_ < 0) return false;
  const int clicked = down_;
  down_ = -1;
  const int at = ButtonAt(point);
  if (at == clicked && buttons_[at].enabled && buttons_[at].handler) buttons_[at].handler();
  return true;
}

bool TSLDisplayToolBar::MouseLeft() {
  const bool highlighted = over_ >= 0 || down_ >= 0;
  over_ = -1;
  down_ = -1;
  return highlighted;
}

const QImage& TSLDisplayToolBar::GlyphStrip() {
  static const QImage strip = [] {
    QImage image(kGlyphSize * kToolButtonCount, kGlyphSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    for (int i = 0; i < kToolButtonCount; ++i) DrawGlyph(p, i, i * kGlyphSize);
    return image;
  }();
  return strip;
}

void TSLDisplayToolBar::BuildImages() {
  const QImage& strip = GlyphStrip();
  struct Look {
    TColor glyph, button, border;
  };
  const std::array<Look, 4> looks{{{GlyphColor(), ButtonColor(), BorderColor()},
                                   {GlyphColor(), MouseOverButtonColor(), MouseOverBorderColor()},
                                   {GlyphColor(), MouseDownButtonColor(), MouseDownBorderColor()},
                                   {DisabledColor(), ButtonColor(), DisabledColor()}}};
  for (size_t state = 0; state < looks.size(); ++state) {
    for (int i = 0; i < kToolButtonCount; ++i) {
      const QImage glyph = Recolored(strip.copy(i * kGlyphSize, 0, kGlyphSize, kGlyphSize),
                                     ToQColor(looks[state].glyph));
      QImage image(kButtonSize, kButtonSize, QImage::Format_RGB32);
      image.fill(ToQColor(looks[state].button));
      QPainter p(&image);
      p.setPen(ToQColor(looks[state].border));
      p.setBrush(Qt::NoBrush);
      p.drawRect(0, 0, kButtonSize - 1, kButtonSize - 1);
      const int offset = (kButtonSize - kGlyphSize) / 2;
      p.drawImage(offset, offset, glyph);
      p.end();
      images_[state][i] = image;
    }
  }
  imagesValid_ = true;
}

const QImage& TSLDisplayToolBar::ButtonImage(TSLToolButtonKind kind, State state) {
  if (!imagesValid_) BuildImages();
  return images_[static_cast<size_t>(state)][static_cast<size_t>(kind)];
}

void TSLDisplayToolBar::Draw(QPainter& canvas) {
  for (const auto& button : buttons_) {
    if (!button.visible || button.rect.isEmpty()) continue;
    canvas.drawImage(button.rect.topLeft(), ButtonImage(button.kind, StateOf(button.kind)));
  }
}

}  // namespace tardivox
