#include "display/DisplayLegend.h"

#include <algorithm>

#include "display/DataDisplay.h"
#include "display/SetIfChanged.h"

namespace tardivox {

namespace {
constexpr int kGroupTop = 4;
}

TSLDisplayCollectionItem::TSLDisplayCollectionItem() {
  PublishValue(
      "Name", [this] { return TPropertyValue(name_); },
      [this](const TPropertyValue& v) { SetName(AsString(v)); }, std::string());
}

TSLOptionalDisplayCollectionItem::TSLOptionalDisplayCollectionItem() {
  PublishValue(
      "Visible", [this] { return TPropertyValue(visible_); },
      [this](const TPropertyValue& v) { SetVisible(AsBool(v)); }, true);
}

TSLLegendGroup::TSLLegendGroup(std::string caption, TOWExtCollection* items,
                               std::function<void()> changed)
    : caption_(std::move(caption)), items_(items), changed_(std::move(changed)) {
  PublishValue(
      "Caption", [this] { return TPropertyValue(caption_); },
      [this](const TPropertyValue& v) { SetCaption(AsString(v)); }, caption_);
  PublishValue(
      "Visible", [this] { return TPropertyValue(visible_); },
      [this](const TPropertyValue& v) { SetVisible(AsBool(v)); }, true);
}

void TSLLegendGroup::SetCaption(std::string caption) {
  if (!SetIfChanged(caption_, std::move(caption))) return;
  if (changed_) changed_();
}

void TSLLegendGroup::SetVisible(bool visible) {
  if (!SetIfChanged(visible_, visible)) return;
  if (changed_) changed_();
}

bool TSLLegendGroup::Listed(int index) const {
  const auto* optional =
      dynamic_cast<const TSLOptionalDisplayCollectionItem*>(&items_->Items(index));
  return !optional || optional->Visible();
}

int TSLLegendGroup::Width(const TSLDisplayFont& font) const {
  if (!visible_ || !items_ || items_->Count() == 0) return 0;
  int width = font.TextWidth(QString::fromStdString(caption_)) + 23;
  for (int i = 0; i < items_->Count(); ++i) {
    if (!Listed(i)) continue;
    width = std::max(width,
                     font.TextWidth(QString::fromStdString(items_->Items(i).DisplayName())) + 30);
  }
  return width;
}

bool TSLLegendGroup::ItemClicked(int index) {
  bool handled = false;
  if (onItemClick_) onItemClick_(*this, index, handled);
  return handled;
}

TSLLegendView::TSLLegendView(TSLDataDisplay& owner)
    : TSLOptionalView(owner), font_([&owner] { owner.LayoutChanged(); }) {
  PublishObject("Font", &font_);
  PublishValue(
      "ButtonsEnabled", [this] { return TPropertyValue(buttonsEnabled_); },
      [this](const TPropertyValue& v) { SetButtonsEnabled(AsBool(v)); }, true);
  static const char* const kNames[] = {"MouseOverBorderColor", "MouseOverButtonColor",
                                       "MouseDownBorderColor", "MouseDownButtonColor"};
  for (int i = 0; i < 4; ++i) {
    PublishValue(
        kNames[i], [this, i] { return TPropertyValue(static_cast<int64_t>(colors_[i])); },
        [this, i](const TPropertyValue& v) {
          colors_[i] = static_cast<TColor>(AsInteger(v));
          InvalidateView();
        },
        static_cast<int64_t>(colors_[i]));
  }
}

void TSLLegendView::SetButtonsEnabled(bool enabled) {
  if (!SetIfChanged(buttonsEnabled_, enabled)) return;
  InvalidateView();
}

TSLLegendGroup& TSLLegendView::AddGroup(std::string caption, TOWExtCollection* items) {
  groups_.push_back(std::make_unique<TSLLegendGroup>(std::move(caption), items,
                                                     [this] { Owner().LayoutChanged(); }));
  Owner().LayoutChanged();
  return *groups_.back();
}

void TSLLegendView::GetSize(int& width, int& height) {
  width = 0;
  for (const auto& group : groups_) width = std::max(width, group->Width(font_));
  width = BandSize(width);
  height = -1;
}

std::vector<TSLLegendView::ItemPlace> TSLLegendView::ItemPlaces() const {
  std::vector<ItemPlace> places;
  const int lineHeight = font_.TextHeight();
  int y = GetTop() + kGroupTop;
  for (int g = 0; g < GroupCount(); ++g) {
    const TSLLegendGroup& group = *groups_[static_cast<size_t>(g)];
    if (group.Width(font_) == 0) continue;
    y += lineHeight + 4;  // the caption
    for (int i = 0; i < group.Items()->Count(); ++i) {
      if (!group.Listed(i)) continue;
      places.push_back(
          {g, i,
           QRect(GetLeft() + 4, y, std::max(0, Rect().right - GetLeft() - 8), lineHeight + 4)});
      y += lineHeight + 6;
    }
    y += 4;
  }
  return places;
}

TSLLegendView::ItemPlace TSLLegendView::ItemAt(int x, int y) const {
  for (const ItemPlace& place : ItemPlaces()) {
    if (place.rect.contains(x, y)) return place;
  }
  return {};
}

void TSLLegendView::Draw(QPainter& canvas, const TSLDrawContext& context) {
  const QFont font = font_.ToQFont();
  const QFontMetrics metrics(font);
  canvas.setFont(font);
  const QColor textColor = ToQColor(font_.Color());
  const int lineHeight = font_.TextHeight();
  int y = GetTop() + kGroupTop;
  for (int g = 0; g < GroupCount(); ++g) {
    const TSLLegendGroup& group = *groups_[static_cast<size_t>(g)];
    if (group.Width(font_) == 0) continue;
    canvas.setPen(textColor);
    canvas.drawText(GetLeft() + 4, y + metrics.ascent(), QString::fromStdString(group.Caption()));
    y += lineHeight + 4;
    for (int i = 0; i < group.Items()->Count(); ++i) {
      if (!group.Listed(i)) continue;
      const QRect button(GetLeft() + 4, y, std::max(0, Rect().right - GetLeft() - 8),
                         lineHeight + 4);
      const bool isDown = !context.printing && down_.group == g && down_.item == i;
      const bool isOver = !context.printing && over_.group == g && over_.item == i;
      if (buttonsEnabled_ && (isDown || isOver)) {
        canvas.setPen(ToQColor(isDown ? MouseDownBorderColor() : MouseOverBorderColor()));
        canvas.setBrush(ToQColor(isDown ? MouseDownButtonColor() : MouseOverButtonColor()));
        canvas.drawRect(button.adjusted(0, 0, -1, -1));
        canvas.setBrush(Qt::NoBrush);
      }
      int textLeft = button.left() + 6;
      const auto* optional =
          dynamic_cast<const TSLOptionalDisplayCollectionItem*>(&group.Items()->Items(i));
      TColor swatch = 0;
      if (optional && optional->LegendSwatch(swatch)) {
        canvas.fillRect(QRect(button.left() + 4, button.top() + 3, 10, button.height() - 6),
                        ToQColor(swatch));
        textLeft = button.left() + 18;
      }
      canvas.setPen(textColor);
      canvas.drawText(textLeft, button.top() + 2 + metrics.ascent(),
                      QString::fromStdString(group.Items()->Items(i).DisplayName()));
      y += lineHeight + 6;
    }
    y += 4;
  }
}

void TSLLegendView::MouseMove(Qt::KeyboardModifiers shift, int x, int y) {
  TSLOptionalView::MouseMove(shift, x, y);
  const ItemPlace at = ItemAt(x, y);
  if (at.group == over_.group && at.item == over_.item) return;
  over_ = at;
  InvalidateView();
}

void TSLLegendView::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, bool inside, int x,
                              int y) {
  if (button != Qt::LeftButton || !inside || !buttonsEnabled_) return;
  down_ = ItemAt(x, y);
  if (down_.group >= 0) InvalidateView();
}

void TSLLegendView::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, bool inside, int x,
                            int y) {
  if (button != Qt::LeftButton || down_.group < 0) return;
  const ItemPlace pressed = down_;
  down_ = {};
  InvalidateView();
  const ItemPlace at = inside ? ItemAt(x, y) : ItemPlace{};
  if (at.group != pressed.group || at.item != pressed.item) return;
  if (!Groups(pressed.group).ItemClicked(pressed.item)) {
    Owner().ShowProperties(pressed.group, pressed.item);
  }
}

void TSLLegendView::MouseLeftView() {
  if (over_.group < 0 && down_.group < 0) return;
  over_ = {};
  down_ = {};
  InvalidateView();
}

}  // namespace tardivox
