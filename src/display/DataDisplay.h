#pragma once
// TSLDataDisplay: the frame of the data displays. A focusable widget that owns an ordered list
// of views (title, axes, legend, level bar, data area), lays them out in docked bands around the
// data area, composes every paint off-screen and copies it to the screen once, routes pointer,
// wheel, focus and key input to the views, keeps a zoom history with undo and redo, and can
// copy, save and print what it shows.
//
// Layout. Lazy: LayoutChanged only marks the layout dirty and repaints; the next paint lays the
// views out, in list order, each in the rectangle that remained before it: top and bottom bands
// take their height, left and right bands their width, and the fill view (the data area) takes
// what remains, narrowed by the largest margin the bands asked for on each side. Views after
// the fill view see the same remaining rectangle. A hidden view keeps the rectangle it was
// given.
//
// Zoom. Every zoom step ends with LayoutChanged and the OnZoomChanged notice with its code
// (TSLZoomOperation) and the ranges then current. PushZoom saves the current state on the undo
// list and clears the redo list; successive wheel steps push once. Undo and redo move the
// current state to the other list and restore the popped one (ZoomTo when it was zoomed,
// Unzoom otherwise). What a zoom does to the data is the descendant's (ZoomTo, Unzoom,
// ZoomByFactors, WheelZoom).
//
// Printing. Between beginning and ending the print document the printing flag is set: Width()
// and Height() report the page size in screen pixels, window paints are skipped, and the
// toolbar, tracking marks and overlays are not drawn. Printing always ends the document, clears
// the flag and repaints, also when drawing raised (the error then propagates).
//
// Ownership: the display owns its views, toolbar, zoom settings and histories. Views are
// destroyed with the display, before its Qt children.
// Threads: the window's thread for everything, except InvalidateRect and Invalidate, which any
// thread may call. A thread that may invalidate must stop doing so before the display is
// destroyed (a display's data intake is cut first).
// Failure: an error raised while composing a paint is swallowed and the paint shows what was
// drawn; saving raises Exception when the file cannot be written; printing propagates the
// error after cleaning up.

#include <QImage>
#include <QRegion>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/DisplayColor.h"
#include "display/DisplayToolBar.h"
#include "display/DisplayView.h"
#include "display/DisplayZoom.h"

class QPrinter;

namespace tardivox {

// The ordered, owning list of a display's views.
class TSLDisplayViews {
 public:
  // Appends a view and takes it over; returns it.
  template <class View>
  View& Add(std::unique_ptr<View> view) {
    View& added = *view;
    views_.push_back(std::move(view));
    return added;
  }
  int Count() const { return static_cast<int>(views_.size()); }
  TSLDisplayView& Items(int index) const { return *views_.at(static_cast<size_t>(index)); }
  void Clear() { views_.clear(); }

 private:
  std::vector<std::unique_ptr<TSLDisplayView>> views_;
};

// Codes of the zoom-changed notice.
enum TSLZoomOperation { zoUndo = 0, zoRedo = 1, zoWheel = 2, zoRange = 3, zoReset = 4 };

class TSLDataDisplay;
using TSLZoomChangedEvent =
    std::function<void(TSLDataDisplay& sender, int zoomOperation, const TSLRealRanges& values)>;

class TSLDataDisplay : public QWidget {
  Q_OBJECT

 public:
  explicit TSLDataDisplay(QWidget* parent = nullptr);
  ~TSLDataDisplay() override;
  TSLDataDisplay(const TSLDataDisplay&) = delete;
  TSLDataDisplay& operator=(const TSLDataDisplay&) = delete;

  TSLDisplayViews& Views() { return views_; }
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TSLDisplayToolBar& ToolBar() { return *toolBar_; }
  TSLDisplayZoom& Zooming() { return zooming_; }
  bool TabStop() const { return focusPolicy() == Qt::StrongFocus; }
  void SetTabStop(bool tabStop);
  void SetOnZoomChanged(TSLZoomChangedEvent handler) { onZoomChanged_ = std::move(handler); }

  // The client size, or the page size in screen pixels while printing.
  int Width() const { return printing_ ? printSize_.width() : width(); }
  int Height() const { return printing_ ? printSize_.height() : height(); }
  bool Printing() const { return printing_; }
  bool PointerInside() const { return pointerInside_; }
  // The last pointer position over the display (client pixels).
  QPoint PointerPosition() const { return pointer_; }
  bool LayoutDirty() const { return layoutDirty_; }
  // How many times the views were laid out (a clean layout is never laid out again).
  int LayoutCount() const { return layoutCount_; }
  bool Zoomed() const { return zoomed_; }
  const TSLDisplayZoomList& ZoomUndoList() const { return zoomUndo_; }
  const TSLDisplayZoomList& ZoomRedoList() const { return zoomRedo_; }

  // The hold state: a held display keeps showing what it had (descendants decide what holding
  // means). Changing it calls HoldChanged and repaints.
  bool Hold() const { return hold_; }
  void SetHold(bool hold);

  // Settings are being applied from a stored layout: paints are skipped until Loaded(), which
  // marks the layout dirty.
  void BeginLoading() { loading_ = true; }
  void Loaded();

  // Queues a repaint of the rectangle (the whole display for Invalidate).
  // Thread: any. Locks: none. Real-time: no (posts an event when called off the window's thread).
  void InvalidateRect(const QRect& rect);
  void Invalidate() { InvalidateRect(rect()); }
  // Queues a repaint of a view's area. Off the window's thread the area is read when the
  // request is served, on the window's thread, so that a layout running meanwhile is no race.
  // Thread: any. Locks: none. Real-time: no (posts an event when called off the window's thread).
  void InvalidateView(const TSLDisplayView& view);

  // Lays the views out now (Algorithms of the class comment) and clears the dirty mark.
  void LayoutViews();

  virtual void ColorsChanged();
  virtual void LayoutChanged();
  virtual void ImageGeometryChanged() {}
  virtual void HoldChanged() {}
  virtual void HighlightingChanged() {}
  virtual void ShowProperties(int page, int item);
  virtual void OpenProperties() { ShowProperties(0, 0); }
  // Whether ShowProperties has something to show (the toolbar's properties button).
  virtual bool HasProperties() const { return false; }
  virtual void MouseEntered();
  virtual void MouseLeft();
  virtual std::string GetPrintTitle() const { return "Unknown"; }
  // Draws the whole display onto `canvas` as for printing: no toolbar, no overlays, clipped to
  // the display.
  virtual void PaintToCanvas(QPainter& canvas);
  virtual TSLDisplayView* GetDataView() const = 0;
  virtual bool IsVertical() const { return false; }
  virtual bool FixedTickDirection() const { return false; }

  // Zooming. The four getters read the current visible ranges.
  virtual double GetZoomXMin() const = 0;
  virtual double GetZoomXMax() const = 0;
  virtual double GetZoomYMin() const = 0;
  virtual double GetZoomYMax() const = 0;
  virtual void ZoomTo(double xMin, double yMin, double xMax, double yMax) = 0;
  virtual void Unzoom() = 0;
  // Zooms about `pointer` by the factors (a wheel step).
  virtual void WheelZoom(QPoint pointer, double factorX, double factorY) = 0;
  virtual void ZoomByFactors(bool push, double factorY, double factorX) = 0;
  virtual void PushZoom(bool fromWheel);
  virtual void ResetZoom();
  virtual void ZoomBy(double factor) { ZoomByPushed(true, factor); }
  virtual void ZoomByPushed(bool push, double factor) { ZoomByFactors(push, factor, factor); }
  virtual void ZoomByAxes(double factorX, double factorY) { ZoomByFactors(true, factorY, factorX); }
  virtual void ZoomToRange(double xMin, double yMin, double xMax, double yMax) {
    ZoomToRangePushed(true, xMin, yMin, xMax, yMax);
  }
  virtual void ZoomToRangePushed(bool push, double xMin, double yMin, double xMax, double yMax);
  virtual void ZoomUndo();
  virtual void ZoomRedo();
  virtual void ClearZoomHistory();
  // Ends a zoom step: LayoutChanged, then the notice with `operation`.
  void ZoomChanged(TSLZoomOperation operation);

  // Copy, save, print.
  QImage RenderImage();
  void CopyToClipboard();
  // Writes JPEG when the name ends in ".jpg" or ".jpeg" (any case), a bitmap otherwise.
  void SaveToFile(const QString& fileName);
  // Asks for a file name, then saves.
  void SaveWithDialog();
  // Prints on `printer` (the page is the whole display stretched over the printer's page).
  void PrintTo(QPrinter& printer);
  // Asks for a printer, then prints.
  virtual void Print();

 protected:
  // The paint of one window message: composes the client area off-screen and copies it once.
  // Skipped while printing.
  virtual void PaintWindow(QPainter& device, const QRect& paintRect, const QRegion& region);
  // Composes the display into `canvas` for `region`: lays out when dirty, fills with Color,
  // the focus rectangle, every showing view (full or light call), DrawContent, the toolbar,
  // then DrawDataOverlay clipped to the data view and the views' overlays.
  void Compose(QPainter& canvas, const QRegion& region, bool printing);
  // What a descendant draws after the views (the data, hit marks).
  virtual void DrawContent(QPainter& /*canvas*/, const QRegion& /*region*/,
                           const TSLDrawContext& /*context*/) {}
  // What a descendant draws over the data view, clipped to it (markers).
  virtual void DrawDataOverlay(QPainter& /*canvas*/, const TSLDrawContext& /*context*/) {}
  // Sets the toolbar's buttons from the display's state.
  virtual void UpdateToolBarButtons();
  void SetZoomed(bool zoomed) { zoomed_ = zoomed; }

  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  TSLDisplayZoomList::Entry CurrentZoomState() const;
  void RestoreZoomState(const TSLDisplayZoomList::Entry& entry);
  bool ToolBarShown() const;
  void PlaceToolBar();
  // Hold on while a dialog is open; the previous state comes back afterwards.
  template <class Dialog>
  void WithHeldDialog(Dialog dialog);

  TSLDisplayViews views_;
  bool layoutDirty_ = true;
  int layoutCount_ = 0;
  TColor color_ = clBlack;
  bool printing_ = false;
  QSize printSize_;
  bool pointerInside_ = false;
  QPoint pointer_{-10000, -10000};
  std::unique_ptr<TSLDisplayToolBar> toolBar_;
  TSLDisplayZoomList zoomUndo_;
  TSLDisplayZoomList zoomRedo_;
  bool pointerOverToolBar_ = false;
  QCursor userCursor_;
  TSLDisplayZoom zooming_;
  bool zoomed_ = false;
  bool wheelZoomInProgress_ = false;
  bool hold_ = false;
  bool loading_ = false;
  TSLZoomChangedEvent onZoomChanged_;
  QImage offscreen_;
  QSize laidOutSize_;
};

}  // namespace tardivox
