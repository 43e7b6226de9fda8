#include "display/DisplayMarkers.h"

#include <QPolygon>

#include <array>

#include "display/EnumNames.h"

namespace tardivox {

namespace {

constexpr std::array<const char*, 13> kShapeNames = {
    "msPoint",         "msCircle", "msSquare",     "msDiamond",      "msPlus",
    "msCross",         "msStar",   "msTriangleUp", "msTriangleDown", "msTriangleLeft",
    "msTriangleRight", "msHLine",  "msVLine"};

}  // namespace

std::string MarkerShapeName(TSLDisplayMarkerShape shape) {
  return EnumName(kShapeNames, shape);
}

TSLDisplayMarkerShape MarkerShapeOf(const std::string& name) {
  return EnumOf<TSLDisplayMarkerShape>(kShapeNames, name, "marker shape");
}

void DrawMarkerShape(QPainter& canvas, TSLDisplayMarkerShape shape, QPoint at, int size) {
  const int x = at.x(), y = at.y(), s = size;
  switch (shape) {
    case msPoint:
      canvas.drawPoint(at);
      break;
    case msCircle:
      canvas.drawEllipse(at, s, s);
      break;
    case msSquare:
      canvas.drawRect(x - s, y - s, 2 * s, 2 * s);
      break;
    case msDiamond:
      canvas.drawPolygon(
          QPolygon({QPoint(x, y - s), QPoint(x + s, y), QPoint(x, y + s), QPoint(x - s, y)}));
      break;
    case msPlus:
      canvas.drawLine(x - s, y, x + s, y);
      canvas.drawLine(x, y - s, x, y + s);
      break;
    case msCross:
      canvas.drawLine(x - s, y - s, x + s, y + s);
      canvas.drawLine(x - s, y + s, x + s, y - s);
      break;
    case msStar:
      DrawMarkerShape(canvas, msPlus, at, s);
      DrawMarkerShape(canvas, msCross, at, s * 7 / 10);
      break;
    case msTriangleUp:
      canvas.drawPolygon(QPolygon({QPoint(x, y - s), QPoint(x + s, y + s), QPoint(x - s, y + s)}));
      break;
    case msTriangleDown:
      canvas.drawPolygon(QPolygon({QPoint(x, y + s), QPoint(x + s, y - s), QPoint(x - s, y - s)}));
      break;
    case msTriangleLeft:
      canvas.drawPolygon(QPolygon({QPoint(x - s, y), QPoint(x + s, y - s), QPoint(x + s, y + s)}));
      break;
    case msTriangleRight:
      canvas.drawPolygon(QPolygon({QPoint(x + s, y), QPoint(x - s, y - s), QPoint(x - s, y + s)}));
      break;
    case msHLine:
      canvas.drawLine(x - s, y, x + s, y);
      break;
    case msVLine:
      canvas.drawLine(x, y - s, x, y + s);
      break;
  }
}

TSLDisplayMarkerGroup::TSLDisplayMarkerGroup() : labels_(nullptr) {
  PublishValue(
      "PenColor", [this] { return TPropertyValue(static_cast<int64_t>(penColor_)); },
      [this](const TPropertyValue& v) { SetPenColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(clWhite));
  PublishValue(
      "PenWidth", [this] { return TPropertyValue(static_cast<int64_t>(penWidth_)); },
      [this](const TPropertyValue& v) { SetPenWidth(static_cast<int>(AsInteger(v))); },
      static_cast<int64_t>(1));
  PublishValue(
      "BrushColor", [this] { return TPropertyValue(static_cast<int64_t>(brushColor_)); },
      [this](const TPropertyValue& v) { SetBrushColor(static_cast<TColor>(AsInteger(v))); },
      static_cast<int64_t>(clWhite));
  PublishValue(
      "BrushSolid", [this] { return TPropertyValue(brushSolid_); },
      [this](const TPropertyValue& v) { SetBrushSolid(AsBool(v)); }, false);
  PublishIdentifier(
      "Shape", [this] { return MarkerShapeName(shape_); },
      [this](const std::string& v) { SetShape(MarkerShapeOf(v)); }, "msPlus");
  PublishValue(
      "Size", [this] { return TPropertyValue(static_cast<int64_t>(size_)); },
      [this](const TPropertyValue& v) { SetSize(static_cast<int>(AsInteger(v))); },
      static_cast<int64_t>(3));
  PublishObject("Labels", &labels_);
}

void TSLDisplayMarkerGroup::DrawMarker(QPainter& canvas, QPoint at) const {
  canvas.setPen(QPen(ToQColor(penColor_), penWidth_));
  canvas.setBrush(brushSolid_ ? QBrush(ToQColor(brushColor_)) : QBrush(Qt::NoBrush));
  DrawMarkerShape(canvas, shape_, at, size_);
}

}  // namespace tardivox
