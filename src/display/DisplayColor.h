#pragma once
// Colour values of the displays, in the two forms the drawing code needs:
// - colour form (`TColor`): red in the lowest byte, then green, then blue; the high byte is 0
//   for a plain colour and 0xFF for a system colour, whose low byte names a role of the
//   desktop's palette (window, text, button face, …). Properties, pens and brushes take it.
// - pixel form: a 32-bit image pixel as `QImage::Format_RGB32` holds it, blue in the lowest
//   byte, then green, then red, then 0.
//
// Pure functions: safe on any thread, except ColorToRGB of a system colour, which reads the
// application palette and so belongs to the window's thread. Failure: none; an unknown system
// colour resolves to the palette's window colour.

#include <QColor>

#include <cstdint>

namespace tardivox {

using TColor = uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clSystemColor = 0xFF000000;

// A system colour resolved to a plain one; a plain colour is returned as it is (without its
// high byte).
TColor ColorToRGB(TColor color);
// The colour form as a Qt colour (system colours resolved).
QColor ToQColor(TColor color);
// A Qt colour in colour form.
TColor FromQColor(const QColor& color);
// The pixel form of a plain colour: red and blue exchanged, high byte 0.
constexpr uint32_t ColorToPixel(TColor color) {
  return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

}  // namespace tardivox
