#pragma once
// The display's toolbar: a row of buttons drawn over the display (top left of the data area)
// from one strip of glyphs that is recoloured into four image lists, one per button state:
// normal (`GlyphColor` on `ButtonColor` inside `BorderColor`), pointer over
// (`MouseOverButtonColor`, `MouseOverBorderColor`), held down (`MouseDownButtonColor`,
// `MouseDownBorderColor`) and disabled (glyph and border in `DisabledColor`). The image lists are
// rebuilt after a colour change, at the next draw.
//
// Buttons, in display order: run, pause, copy, print, save, properties, zoom in, zoom out,
// unzoom, undo, redo. Each has a visible and an enabled flag and a handler, which the display
// sets. A click (press and release of the left button on the same enabled button) runs the
// handler.
//
// Ownership: owned by its display; handlers are the display's. Threads: the window's thread.
// Failure: none; a handler's error propagates to the caller of MouseUp.

#include <QCursor>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <array>
#include <functional>
#include <vector>

#include "display/DisplayColor.h"
#include "model/Persistent.h"

namespace tardivox {

enum class TSLToolButtonKind {
  Run,
  Pause,
  Copy,
  Print,
  Save,
  Properties,
  ZoomIn,
  ZoomOut,
  Unzoom,
  Undo,
  Redo
};
inline constexpr int kToolButtonCount = 11;

struct TSLToolButton {
  TSLToolButtonKind kind = TSLToolButtonKind::Run;
  bool visible = true;
  bool enabled = true;
  std::function<void()> handler;
  QRect rect;  // placed by Arrange; empty while hidden
};

class TSLDisplayToolBar : public TPersistent {
 public:
  enum class State { Normal, Over, Down, Disabled };
  static constexpr int kGlyphSize = 16;
  static constexpr int kButtonSize = 20;
  static constexpr int kButtonGap = 2;

  // `changed` runs after a property change (the display repaints).
  explicit TSLDisplayToolBar(std::function<void()> changed);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool AutoHide() const { return autoHide_; }
  void SetAutoHide(bool autoHide);
  TColor GlyphColor() const { return colors_[0]; }
  TColor BorderColor() const { return colors_[1]; }
  TColor ButtonColor() const { return colors_[2]; }
  TColor MouseOverBorderColor() const { return colors_[3]; }
  TColor MouseOverButtonColor() const { return colors_[4]; }
  TColor MouseDownBorderColor() const { return colors_[5]; }
  TColor MouseDownButtonColor() const { return colors_[6]; }
  TColor DisabledColor() const { return colors_[7]; }
  void SetGlyphColor(TColor c) { SetColorAt(0, c); }
  void SetBorderColor(TColor c) { SetColorAt(1, c); }
  void SetButtonColor(TColor c) { SetColorAt(2, c); }
  void SetMouseOverBorderColor(TColor c) { SetColorAt(3, c); }
  void SetMouseOverButtonColor(TColor c) { SetColorAt(4, c); }
  void SetMouseDownBorderColor(TColor c) { SetColorAt(5, c); }
  void SetMouseDownButtonColor(TColor c) { SetColorAt(6, c); }
  void SetDisabledColor(TColor c) { SetColorAt(7, c); }
  QCursor Cursor() const { return cursor_; }
  void SetCursor(const QCursor& cursor) { cursor_ = cursor; }

  TSLToolButton& Button(TSLToolButtonKind kind) { return buttons_[static_cast<size_t>(kind)]; }
  const TSLToolButton& Button(TSLToolButtonKind kind) const {
    return buttons_[static_cast<size_t>(kind)];
  }
  // Places the visible buttons in a row from `origin`.
  void Arrange(QPoint origin);
  // The rectangle the placed buttons cover (empty when none is visible).
  QRect Area() const { return area_; }
  // The visible button at `point`, or -1.
  int ButtonAt(QPoint point) const;
  State StateOf(TSLToolButtonKind kind) const;

  // Pointer routing; each returns whether the toolbar's look changed.
  bool MouseMove(QPoint point);
  bool MouseDown(QPoint point);
  // Runs the clicked button's handler (after the look is reset).
  bool MouseUp(QPoint point);
  bool MouseLeft();

  void Draw(QPainter& canvas);
  // The strip of button glyphs, white on transparent, kGlyphSize pixels per glyph, in button
  // order.
  static const QImage& GlyphStrip();
  // The image of one button in one state (for tests and for drawing).
  const QImage& ButtonImage(TSLToolButtonKind kind, State state);

 private:
  void SetColorAt(int index, TColor color);
  void BuildImages();

  std::function<void()> changed_;
  bool visible_ = true;
  bool autoHide_ = true;
  std::array<TColor, 8> colors_{65535, 32768, 0, 65280, 32768, 65535, 32896, 32768};
  QCursor cursor_{Qt::ArrowCursor};
  std::array<TSLToolButton, kToolButtonCount> buttons_;
  QRect area_;
  int over_ = -1;
  int down_ = -1;
  bool imagesValid_ = false;
  std::array<std::array<QImage, kToolButtonCount>, 4> images_;
};

}  // namespace tardivox
