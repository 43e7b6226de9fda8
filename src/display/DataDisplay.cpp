#include "display/DataDisplay.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>
#include <QWheelEvent>

#include <algorithm>

#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "display/SetIfChanged.h"

namespace tardivox {

namespace {

// Saves the painter's state for a scope, also when a view's drawing raises.
class TPainterState {
 public:
  explicit TPainterState(QPainter& painter) : painter_(painter) { painter_.save(); }
  ~TPainterState() { painter_.restore(); }
  TPainterState(const TPainterState&) = delete;
  TPainterState& operator=(const TPainterState&) = delete;

 private:
  QPainter& painter_;
};

}  // namespace

TSLDataDisplay::TSLDataDisplay(QWidget* parent)
    : QWidget(parent), toolBar_(std::make_unique<TSLDisplayToolBar>([this] { Invalidate(); })) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  resize(450, 280);
  userCursor_ = cursor();
  for (int i = 0; i < kToolButtonCount; ++i) {
    const auto kind = static_cast<TSLToolButtonKind>(i);
    auto& button = toolBar_->Button(kind);
    switch (kind) {
      case TSLToolButtonKind::Run:
        button.handler = [this] { SetHold(false); };
        break;
      case TSLToolButtonKind::Pause:
        button.handler = [this] { SetHold(true); };
        break;
      case TSLToolButtonKind::Copy:
        button.handler = [this] { CopyToClipboard(); };
        break;
      case TSLToolButtonKind::Print:
        button.handler = [this] { Print(); };
        break;
      case TSLToolButtonKind::Save:
        button.handler = [this] { SaveWithDialog(); };
        break;
      case TSLToolButtonKind::Properties:
        button.handler = [this] { OpenProperties(); };
        break;
      case TSLToolButtonKind::ZoomIn:
        button.handler = [this] { ZoomBy(0.5); };
        break;
      case TSLToolButtonKind::ZoomOut:
        button.handler = [this] { ZoomBy(2.0); };
        break;
      case TSLToolButtonKind::Unzoom:
        button.handler = [this] { ResetZoom(); };
        break;
      case TSLToolButtonKind::Undo:
        button.handler = [this] { ZoomUndo(); };
        break;
      case TSLToolButtonKind::Redo:
        button.handler = [this] { ZoomRedo(); };
        break;
    }
  }
}

// The views go first: they hold their display and may reach it while they are destroyed.
TSLDataDisplay::~TSLDataDisplay() {
  views_.Clear();
}

void TSLDataDisplay::SetColor(TColor color) {
  if (!SetIfChanged(color_, color)) return;
  ColorsChanged();
}

void TSLDataDisplay::SetTabStop(bool tabStop) {
  setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
}

void TSLDataDisplay::SetHold(bool hold) {
  if (!SetIfChanged(hold_, hold)) return;
  HoldChanged();
  Invalidate();
}

void TSLDataDisplay::Loaded() {
  loading_ = false;
  layoutDirty_ = true;
  Invalidate();
}

namespace {

// A repaint asked for from another thread: the window's thread serves it in event(). A posted
// event passes through Qt's locked event queue and is deleted by the receiver, so nothing is
// shared between the threads beyond it; pending events die with their display.
class TSLRepaintEvent : public QEvent {
 public:
  static QEvent::Type Kind() {
    static const auto kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
  }
  TSLRepaintEvent(QRect rect, const TSLDisplayView* view)
      : QEvent(Kind()), rect(rect), view(view) {}
  const QRect rect;
  const TSLDisplayView* const view;  // when set, its area is read on the window's thread
};

}  // namespace

void TSLDataDisplay::InvalidateRect(const QRect& rect) {
  if (QThread::currentThread() == thread()) {
    update(rect);
    return;
  }
  QCoreApplication::postEvent(this, new TSLRepaintEvent(rect, nullptr));
}

void TSLDataDisplay::InvalidateView(const TSLDisplayView& view) {
  if (QThread::currentThread() == thread()) {
    update(view.Rect().ToQRect());
    return;
  }
  QCoreApplication::postEvent(this, new TSLRepaintEvent(QRect(), &view));
}

bool TSLDataDisplay::event(QEvent* event) {
  if (event->type() == TSLRepaintEvent::Kind()) {
    const auto* request = static_cast<TSLRepaintEvent*>(event);
    // The display owns its views until it is destroyed, and its pending events go with it.
    update(request->view ? request->view->Rect().ToQRect() : request->rect);
    return true;
  }
  return QWidget::event(event);
}

void TSLDataDisplay::LayoutViews() {
  ++layoutCount_;
  layoutDirty_ = false;
  const int displayWidth = Width();
  const int displayHeight = Height();
  TSLViewRect remaining{0, 0, displayWidth, displayHeight};
  int leftMargin = 0, topMargin = 0, rightMargin = 0, bottomMargin = 0;
  for (int i = 0; i < views_.Count(); ++i) {
    TSLDisplayView& view = views_.Items(i);
    view.SetRect(remaining);
    if (!view.TakesPart()) continue;
    int width = 0, height = 0;
    view.GetSize(width, height);
    TSLViewRect rect = remaining;
    switch (view.GetDockKind()) {
      case TSLDockKind::Top:
        if (height < 0) height = remaining.bottom - remaining.top;
        rect.bottom = remaining.top + height;
        remaining.top += height;
        leftMargin = std::max(leftMargin, view.GetMarginBefore());
        rightMargin = std::max(rightMargin, view.GetMarginAfter());
        break;
      case TSLDockKind::Bottom:
        if (height < 0) height = remaining.bottom - remaining.top;
        rect.top = remaining.bottom - height;
        remaining.bottom -= height;
        leftMargin = std::max(leftMargin, view.GetMarginBefore());
        rightMargin = std::max(rightMargin, view.GetMarginAfter());
        break;
      case TSLDockKind::Left:
        if (width < 0) width = remaining.right - remaining.left;
        rect.right = remaining.left + width;
        remaining.left += width;
        topMargin = std::max(topMargin, view.GetMarginBefore());
        bottomMargin = std::max(bottomMargin, view.GetMarginAfter());
        break;
      case TSLDockKind::Right:
        if (width < 0) width = remaining.right - remaining.left;
        rect.left = remaining.right - width;
        remaining.right -= width;
        topMargin = std::max(topMargin, view.GetMarginBefore());
        bottomMargin = std::max(bottomMargin, view.GetMarginAfter());
        break;
      case TSLDockKind::Fill:
        rect.left = std::max(rect.left, leftMargin);
        rect.top = std::max(rect.top, topMargin);
        rect.bottom = std::min(rect.bottom, displayHeight - bottomMargin);
        rect.right = std::min(rect.right, displayWidth - rightMargin);
        break;
    }
    view.SetRect(rect);
  }
}

void TSLDataDisplay::ColorsChanged() {
  Invalidate();
}

void TSLDataDisplay::LayoutChanged() {
  layoutDirty_ = true;
  Invalidate();
}

void TSLDataDisplay::ShowProperties(int /*page*/, int /*item*/) {}

void TSLDataDisplay::MouseEntered() {
  pointerInside_ = true;
  for (int i = 0; i < views_.Count(); ++i) views_.Items(i).ControlMouseEntered();
  if (toolBar_->Visible() && toolBar_->AutoHide()) Invalidate();
}

void TSLDataDisplay::MouseLeft() {
  pointerInside_ = false;
  wheelZoomInProgress_ = false;
  for (int i = 0; i < views_.Count(); ++i) views_.Items(i).ControlMouseLeft();
  const bool highlighted = toolBar_->MouseLeft();
  if (pointerOverToolBar_) {
    pointerOverToolBar_ = false;
    setCursor(userCursor_);
  }
  if ((toolBar_->Visible() && toolBar_->AutoHide()) || highlighted) Invalidate();
}

void TSLDataDisplay::PaintToCanvas(QPainter& canvas) {
  TPainterState state(canvas);
  canvas.setClipRect(QRect(0, 0, Width(), Height()));
  Compose(canvas, QRegion(0, 0, Width(), Height()), true);
}

void TSLDataDisplay::PushZoom(bool fromWheel) {
  if (fromWheel && wheelZoomInProgress_) return;
  wheelZoomInProgress_ = fromWheel;
  zoomUndo_.Push(CurrentZoomState());
  zoomRedo_.Clear();
}

void TSLDataDisplay::ResetZoom() {
  PushZoom(false);
  Unzoom();
  ZoomChanged(zoReset);
}

void TSLDataDisplay::ZoomToRangePushed(bool push, double xMin, double yMin, double xMax,
                                       double yMax) {
  if (push) PushZoom(false);
  ZoomTo(xMin, yMin, xMax, yMax);
  ZoomChanged(zoRange);
}

void TSLDataDisplay::ZoomUndo() {
  TSLDisplayZoomList::Entry entry;
  if (!zoomUndo_.Pop(entry)) return;
  wheelZoomInProgress_ = false;
  zoomRedo_.Push(CurrentZoomState());
  RestoreZoomState(entry);
  ZoomChanged(zoUndo);
}

void TSLDataDisplay::ZoomRedo() {
  TSLDisplayZoomList::Entry entry;
  if (!zoomRedo_.Pop(entry)) return;
  wheelZoomInProgress_ = false;
  zoomUndo_.Push(CurrentZoomState());
  RestoreZoomState(entry);
  ZoomChanged(zoRedo);
}

void TSLDataDisplay::ClearZoomHistory() {
  zoomUndo_.Clear();
  zoomRedo_.Clear();
}

void TSLDataDisplay::ZoomChanged(TSLZoomOperation operation) {
  LayoutChanged();
  if (onZoomChanged_) {
    onZoomChanged_(*this, operation, {GetZoomXMin(), GetZoomYMin(), GetZoomXMax(), GetZoomYMax()});
  }
}

TSLDisplayZoomList::Entry TSLDataDisplay::CurrentZoomState() const {
  return {zoomed_, {GetZoomXMin(), GetZoomYMin(), GetZoomXMax(), GetZoomYMax()}};
}

void TSLDataDisplay::RestoreZoomState(const TSLDisplayZoomList::Entry& entry) {
  if (entry.zoomed) {
    ZoomTo(entry.ranges[0], entry.ranges[1], entry.ranges[2], entry.ranges[3]);
  } else {
    Unzoom();
  }
}

QImage TSLDataDisplay::RenderImage() {
  QImage image(std::max(1, Width()), std::max(1, Height()), QImage::Format_RGB32);
  image.fill(ToQColor(color_));
  QPainter painter(&image);
  PaintToCanvas(painter);
  return image;
}

void TSLDataDisplay::CopyToClipboard() {
  QApplication::clipboard()->setImage(RenderImage());
}

void TSLDataDisplay::SaveToFile(const QString& fileName) {
  const QString lower = fileName.toLower();
  const bool jpeg =
      lower.endsWith(QStringLiteral(".jpg")) || lower.endsWith(QStringLiteral(".jpeg"));
  if (!RenderImage().save(fileName, jpeg ? "JPG" : "BMP")) {
    throw Exception("Cannot write the image file " + fileName.toStdString());
  }
}

template <class Dialog>
void TSLDataDisplay::WithHeldDialog(Dialog dialog) {
  // The display stands still while the user chooses, so that what is saved or printed is what
  // was on screen when the button was pressed. Cancelling restores the previous state too: a
  // dialog the user backed out of should leave the display as it was.
  const bool wasHeld = hold_;
  SetHold(true);
  TScopeExit restore([&] { SetHold(wasHeld); });
  dialog();
}

void TSLDataDisplay::SaveWithDialog() {
  WithHeldDialog([this] {
    QString selected;
    QString name = QFileDialog::getSaveFileName(
        this, QString(), QString(),
        QStringLiteral("Bitmap (*.bmp);;JPEG File Interchange Format (*.jpg)"), &selected);
    if (name.isEmpty()) return;
    if (QFileInfo(name).suffix().isEmpty()) {
      name += selected.startsWith(QStringLiteral("JPEG")) ? QStringLiteral(".jpg")
                                                          : QStringLiteral(".bmp");
    }
    SaveToFile(name);
  });
}

void TSLDataDisplay::PrintTo(QPrinter& printer) {
  printer.setDocName(QString::fromStdString(GetPrintTitle()));
  const bool wasHeld = hold_;
  SetHold(true);
  QPainter page;
  if (!page.begin(&printer)) {
    SetHold(wasHeld);
    throw Exception("Cannot start printing");
  }
  printing_ = true;
  layoutDirty_ = true;
  TScopeExit finish([&] {
    page.end();
    printing_ = false;
    layoutDirty_ = true;
    SetHold(wasHeld);
    Invalidate();
  });
  const QRect pageRect = printer.pageLayout().paintRectPixels(printer.resolution());
  const int screenDpiX = std::max(1, logicalDpiX());
  const int screenDpiY = std::max(1, logicalDpiY());
  const int printerDpi = std::max(1, printer.resolution());
  printSize_ = QSize(std::max(1, pageRect.width() * screenDpiX / printerDpi),
                     std::max(1, pageRect.height() * screenDpiY / printerDpi));
  QImage image(printSize_, QImage::Format_RGB32);
  image.fill(ToQColor(color_));
  {
    QPainter canvas(&image);
    PaintToCanvas(canvas);
  }
  page.setRenderHint(QPainter::SmoothPixmapTransform);
  page.drawImage(QRect(0, 0, pageRect.width(), pageRect.height()), image);
}

void TSLDataDisplay::Print() {
  WithHeldDialog([this] {
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    PrintTo(printer);
  });
}

bool TSLDataDisplay::ToolBarShown() const {
  return toolBar_->Visible() && (!toolBar_->AutoHide() || pointerInside_);
}

void TSLDataDisplay::UpdateToolBarButtons() {
  auto& bar = *toolBar_;
  bar.Button(TSLToolButtonKind::Run).visible = hold_;
  bar.Button(TSLToolButtonKind::Pause).visible = !hold_;
  bar.Button(TSLToolButtonKind::Properties).enabled = HasProperties();
  bar.Button(TSLToolButtonKind::Unzoom).enabled = zoomed_;
  bar.Button(TSLToolButtonKind::Undo).enabled = zoomUndo_.NotEmpty();
  bar.Button(TSLToolButtonKind::Redo).enabled = zoomRedo_.NotEmpty();
}

void TSLDataDisplay::PlaceToolBar() {
  UpdateToolBarButtons();
  const TSLDisplayView* data = GetDataView();
  const QPoint origin = data ? QPoint(data->GetLeft() + 4, data->GetTop() + 4) : QPoint(4, 4);
  toolBar_->Arrange(origin);
}

void TSLDataDisplay::Compose(QPainter& canvas, const QRegion& region, bool printing) {
  if (layoutDirty_) LayoutViews();
  const TSLDrawContext context{printing, IsVertical()};
  canvas.fillRect(QRect(0, 0, Width(), Height()), ToQColor(color_));
  if (!printing && hasFocus()) {
    QPen pen(ToQColor(~ColorToRGB(color_) & 0xFFFFFF), 1, Qt::DotLine);
    canvas.setPen(pen);
    canvas.setBrush(Qt::NoBrush);
    canvas.drawRect(QRect(0, 0, Width() - 1, Height() - 1));
  }
  for (int i = 0; i < views_.Count(); ++i) {
    TSLDisplayView& view = views_.Items(i);
    if (!view.IsShowing()) continue;
    TPainterState state(canvas);
    if (region.intersects(view.Rect().ToQRect())) {
      view.Draw(canvas, context);
    } else {
      view.DrawLight(canvas, context);
    }
  }
  {
    TPainterState state(canvas);
    DrawContent(canvas, region, context);
  }
  if (!printing) PlaceToolBar();
  if (!printing && ToolBarShown()) toolBar_->Draw(canvas);

  if (const TSLDisplayView* data = GetDataView()) {
    TPainterState state(canvas);
    canvas.setClipRect(data->Rect().ToQRect(), Qt::IntersectClip);
    DrawDataOverlay(canvas, context);
  }
  if (printing) return;
  for (int i = 0; i < views_.Count(); ++i) {
    TSLDisplayView& view = views_.Items(i);
    if (!view.IsShowing() || !region.intersects(view.Rect().ToQRect())) continue;
    TPainterState state(canvas);
    view.DrawOverlay(canvas);
  }
}

void TSLDataDisplay::PaintWindow(QPainter& device, const QRect& /*paintRect*/,
                                 const QRegion& region) {
  if (printing_) return;
  const QSize size(std::max(1, width()), std::max(1, height()));
  if (offscreen_.size() != size) {
    offscreen_ = QImage(size, QImage::Format_RGB32);
    offscreen_.fill(ToQColor(color_));
  }
  {
    QPainter canvas(&offscreen_);
    canvas.setClipRegion(region);
    try {
      Compose(canvas, region, false);
    } catch (...) {
      // A paint that fails shows what was drawn; the next paint tries again.
    }
  }
  device.drawImage(QPoint(0, 0), offscreen_);
}

void TSLDataDisplay::paintEvent(QPaintEvent* event) {
  if (loading_) return;
  QPainter device(this);
  PaintWindow(device, event->rect(), event->region());
}

void TSLDataDisplay::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  const QPoint p = event->position().toPoint();
  pointer_ = p;
  if (event->button() == Qt::LeftButton && ToolBarShown() && toolBar_->ButtonAt(p) >= 0) {
    if (toolBar_->MouseDown(p)) update(toolBar_->Area());
    return;
  }
  for (int i = 0; i < views_.Count(); ++i) {
    TSLDisplayView& view = views_.Items(i);
    if (!view.IsShowing()) continue;
    view.MouseDown(event->button(), event->modifiers(), view.Rect().Contains(p.x(), p.y()), p.x(),
                   p.y());
  }
}

void TSLDataDisplay::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  pointer_ = p;
  if (!pointerInside_) MouseEntered();
  for (int i = 0; i < views_.Count(); ++i) {
    TSLDisplayView& view = views_.Items(i);
    if (view.IsShowing()) view.MouseMove(event->modifiers(), p.x(), p.y());
  }
  if (!ToolBarShown()) return;
  const bool over = toolBar_->Area().contains(p);
  if (over != pointerOverToolBar_) {
    pointerOverToolBar_ = over;
    if (over) {
      userCursor_ = cursor();
      setCursor(toolBar_->Cursor());
    } else {
      setCursor(userCursor_);
    }
  }
  if (toolBar_->MouseMove(p)) update(toolBar_->Area());
}

void TSLDataDisplay::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  for (int i = 0; i < views_.Count(); ++i) {
    TSLDisplayView& view = views_.Items(i);
    view.MouseUp(event->button(), event->modifiers(), view.Rect().Contains(p.x(), p.y()), p.x(),
                 p.y());
  }
  if (event->button() == Qt::LeftButton && toolBar_->MouseUp(p)) update(toolBar_->Area());
}

void TSLDataDisplay::leaveEvent(QEvent* /*event*/) {
  // Qt reports every leave of the client area, also when the display is hidden under the
  // pointer; the pointer-inside flag makes the notice come exactly once per stay.
  if (pointerInside_) MouseLeft();
}

void TSLDataDisplay::wheelEvent(QWheelEvent* event) {
  const QPoint p = event->position().toPoint();
  const int delta = event->angleDelta().y();
  if (delta == 0) return;
  const bool down = delta < 0;
  for (int i = 0; i < views_.Count(); ++i) {
    TSLDisplayView& view = views_.Items(i);
    if (!view.IsShowing() || !view.Rect().Contains(p.x(), p.y())) continue;
    if (down) {
      view.WheelDown(event->modifiers(), p);
    } else {
      view.WheelUp(event->modifiers(), p);
    }
  }
  const TSLDisplayView* data = GetDataView();
  if (zooming_.MouseWheelEnabled() && data && data->IsShowing() &&
      data->Rect().Contains(p.x(), p.y())) {
    const double factor = down ? 1.1 : 0.9;
    WheelZoom(p, factor, factor);
  }
  event->accept();
}

void TSLDataDisplay::keyPressEvent(QKeyEvent* event) {
  if (zooming_.KeyboardZoom()) {
    if (event->text() == QStringLiteral("+")) {
      ZoomBy(0.5);
      return;
    }
    if (event->text() == QStringLiteral("-")) {
      ZoomBy(2.0);
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

void TSLDataDisplay::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  Invalidate();
}

void TSLDataDisplay::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  Invalidate();
}

void TSLDataDisplay::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Qt also repeats the current size (an unshown widget being grabbed, for one): only a real
  // change of size relayouts.
  if (event->size() != laidOutSize_) {
    laidOutSize_ = event->size();
    LayoutChanged();
  }
}

}  // namespace tardivox
