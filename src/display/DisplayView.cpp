#include "display/DisplayView.h"

#include <algorithm>

#include "display/DataDisplay.h"
#include "display/SetIfChanged.h"

namespace tardivox {

int TSLDisplayView::GetWidth() const {
  return std::max(0, rect_.right - rect_.left - 1);
}

int TSLDisplayView::GetHeight() const {
  return std::max(0, rect_.bottom - rect_.top - 1);
}

void TSLDisplayView::InvalidateView() {
  owner_.InvalidateView(*this);
}

void TSLDisplayView::MouseMove(Qt::KeyboardModifiers /*shift*/, int x, int y) {
  const bool inside = rect_.Contains(x, y);
  if (!SetIfChanged(hovering_, inside)) return;
  if (inside) {
    MouseEnteredView();
  } else {
    MouseLeftView();
  }
}

void TSLDisplayView::MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, bool, int, int) {}

void TSLDisplayView::MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, bool, int, int) {}

void TSLDisplayView::ControlMouseLeft() {
  if (!hovering_) return;
  hovering_ = false;
  MouseLeftView();
}

void TSLDisplayView::WheelDown(Qt::KeyboardModifiers, QPoint) {}

void TSLDisplayView::WheelUp(Qt::KeyboardModifiers, QPoint) {}

double TSLDisplayView::ValueAt(int, int) {
  return -1000.0;
}

void TSLDisplayView::Draw(QPainter&, const TSLDrawContext&) {}

void TSLDisplayView::DrawLight(QPainter&, const TSLDrawContext&) {}

void TSLDisplayView::DrawOverlay(QPainter&) {}

TSLDisplayViewSize::TSLDisplayViewSize(std::function<void()> changed)
    : changed_(std::move(changed)) {
  PublishValue(
      "AutoSize", [this] { return TPropertyValue(autoSize_); },
      [this](const TPropertyValue& v) { SetAutoSize(AsBool(v)); }, true);
  PublishValue(
      "Size", [this] { return TPropertyValue(static_cast<int64_t>(size_)); },
      [this](const TPropertyValue& v) { SetSize(static_cast<int>(AsInteger(v))); },
      static_cast<int64_t>(100));
}

void TSLDisplayViewSize::SetAutoSize(bool autoSize) {
  if (!SetIfChanged(autoSize_, autoSize)) return;
  if (changed_) changed_();
}

void TSLDisplayViewSize::SetSize(int size) {
  size = std::max(0, size);
  if (!SetIfChanged(size_, size)) return;
  if (changed_) changed_();
}

TSLCustomSizeDisplayView::TSLCustomSizeDisplayView(TSLDataDisplay& owner)
    : TSLDisplayView(owner), viewSize_([&owner] { owner.LayoutChanged(); }) {
  PublishObject("ViewSize", &viewSize_);
}

TSLOptionalView::TSLOptionalView(TSLDataDisplay& owner) : TSLCustomSizeDisplayView(owner) {
  PublishValue(
      "Visible", [this] { return TPropertyValue(visible_); },
      [this](const TPropertyValue& v) { SetVisible(AsBool(v)); }, true);
}

void TSLOptionalView::SetVisible(bool visible) {
  if (!SetIfChanged(visible_, visible)) return;
  Owner().LayoutChanged();
}

}  // namespace tardivox
