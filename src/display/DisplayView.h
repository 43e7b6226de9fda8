#pragma once
// The views of a display: the bands docked around the data area (title, axes, legend, level
// bar) and the data area itself. A display owns its views in one ordered list and lays them
// out, paints them and routes pointer input to them (TSLDataDisplay).
//
// A view has a rectangle in client pixels (left, top, right, bottom; right and bottom are one
// past the last pixel column and row). Its width and height are one pixel less than the
// rectangle (right − left − 1, bottom − top − 1), never below 0; a view shows only with both
// above 0, and a view that does not show is neither drawn nor given pointer input.
//
// `TSLCustomSizeDisplayView` adds `ViewSize` (`AutoSize` True, `Size` 100): with AutoSize off
// the view's band is Size pixels. `TSLOptionalView` adds `Visible` (True): it shows and takes
// part in the layout only while visible, and changing it relayouts the display.
//
// Ownership: a view belongs to its display's view list and holds its owner display borrowed
// (the display outlives its views).
// Threads: the window's thread, except InvalidateView, which any thread may call (it queues a
// repaint of the view's area). Failure: none of the base operations raises.

#include <QPainter>
#include <QPoint>
#include <QRect>

#include <functional>

#include "model/Persistent.h"

namespace tardivox {

class TSLDataDisplay;

struct TSLViewRect {
  int left = 0, top = 0, right = 0, bottom = 0;

  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const TSLViewRect&) const = default;
};

enum class TSLDockKind { Top = 1, Bottom = 2, Left = 3, Right = 4, Fill = 5 };

// What a view is drawn for: on screen, or for a copy, a file or a printer page (printing:
// no toolbar, no tracking marks, no overlays).
struct TSLDrawContext {
  bool printing = false;
  bool vertical = false;
};

class TSLDisplayView : public TPersistent {
 public:
  explicit TSLDisplayView(TSLDataDisplay& owner) : owner_(owner) {}

  TSLDataDisplay& Owner() const { return owner_; }
  const TSLViewRect& Rect() const { return rect_; }
  void SetRect(const TSLViewRect& rect) { rect_ = rect; }
  bool Hovering() const { return hovering_; }

  // The band the view needs: −1 for "whatever is left" (the fill view's answer).
  virtual void GetSize(int& width, int& height) = 0;
  // Room the view needs beyond its band on the data area's left/top (before) and right/bottom
  // (after).
  virtual int GetMarginBefore() { return 0; }
  virtual int GetMarginAfter() { return 0; }
  virtual TSLDockKind GetDockKind() = 0;

  int GetLeft() const { return rect_.left; }
  int GetTop() const { return rect_.top; }
  int GetWidth() const;
  int GetHeight() const;

  // Repaints the view's rectangle, without erasing.
  // Thread: any. Locks: none. Real-time: no (posts a repaint request to the window's thread).
  virtual void InvalidateView();

  // Keeps the hover flag: entering the rectangle sets it and calls MouseEnteredView, leaving
  // clears it and calls MouseLeftView.
  virtual void MouseMove(Qt::KeyboardModifiers shift, int x, int y);
  virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, bool inside, int x,
                         int y);
  virtual void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, bool inside, int x,
                       int y);
  // The pointer left the display: a hovering view stops hovering.
  virtual void ControlMouseLeft();
  virtual void ControlMouseEntered() {}
  virtual void MouseLeftView() {}
  virtual void MouseEnteredView() {}
  virtual void WheelDown(Qt::KeyboardModifiers shift, QPoint position);
  virtual void WheelUp(Qt::KeyboardModifiers shift, QPoint position);

  virtual bool IsShowing() const { return GetWidth() > 0 && GetHeight() > 0; }
  // Whether the view takes part in the layout.
  virtual bool TakesPart() const { return true; }
  virtual double ValueAt(int x, int y);
  virtual double GetRangeMin() { return 0.0; }
  virtual double GetRangeMax() { return 0.0; }

  // The full drawing call (the view lies in the region being repainted) and the light one (it
  // does not); the overlay is drawn last, over everything else, and never when printing.
  virtual void Draw(QPainter& canvas, const TSLDrawContext& context);
  virtual void DrawLight(QPainter& canvas, const TSLDrawContext& context);
  virtual void DrawOverlay(QPainter& canvas);

 private:
  TSLDataDisplay& owner_;
  TSLViewRect rect_;
  bool hovering_ = false;
};

class TSLDisplayViewSize : public TPersistent {
 public:
  explicit TSLDisplayViewSize(std::function<void()> changed);

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize);
  int Size() const { return size_; }
  void SetSize(int size);

 private:
  std::function<void()> changed_;
  bool autoSize_ = true;
  int size_ = 100;
};

class TSLCustomSizeDisplayView : public TSLDisplayView {
 public:
  explicit TSLCustomSizeDisplayView(TSLDataDisplay& owner);

  TSLDisplayViewSize& ViewSize() { return viewSize_; }

 protected:
  // The band: `automatic` unless ViewSize fixes it.
  int BandSize(int automatic) const { return viewSize_.AutoSize() ? automatic : viewSize_.Size(); }

 private:
  TSLDisplayViewSize viewSize_;
};

class TSLOptionalView : public TSLCustomSizeDisplayView {
 public:
  explicit TSLOptionalView(TSLDataDisplay& owner);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  bool IsShowing() const override { return visible_ && TSLCustomSizeDisplayView::IsShowing(); }
  bool TakesPart() const override { return IsShowing(); }

 private:
  bool visible_ = true;
};

}  // namespace tardivox
