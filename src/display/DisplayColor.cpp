#include "display/DisplayColor.h"

#include <QGuiApplication>
#include <QPalette>

namespace tardivox {

namespace {

// The system colour indexes the displays use, mapped to the desktop palette's roles.
QPalette::ColorRole RoleOf(uint32_t index) {
  switch (index) {
    case 5:  // window background
      return QPalette::Base;
    case 8:  // window text
      return QPalette::Text;
    case 13:  // highlight
      return QPalette::Highlight;
    case 14:  // highlighted text
      return QPalette::HighlightedText;
    case 15:  // button face
      return QPalette::Button;
    case 17:  // disabled text
      return QPalette::PlaceholderText;
    case 18:  // button text
      return QPalette::ButtonText;
    default:
      return QPalette::Window;
  }
}

}  // namespace

TColor ColorToRGB(TColor color) {
  if ((color & 0xFF000000) != clSystemColor) return color & 0xFFFFFF;
  return FromQColor(QGuiApplication::palette().color(RoleOf(color & 0xFF)));
}

QColor ToQColor(TColor color) {
  const TColor plain = ColorToRGB(color);
  return QColor(static_cast<int>(plain & 0xFF), static_cast<int>((plain >> 8) & 0xFF),
                static_cast<int>((plain >> 16) & 0xFF));
}

TColor FromQColor(const QColor& color) {
  return static_cast<TColor>(color.red()) | (static_cast<TColor>(color.green()) << 8) |
         (static_cast<TColor>(color.blue()) << 16);
}

}  // namespace tardivox
