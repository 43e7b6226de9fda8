#pragma once
// The legend band of a display and the collections it lists.
//
// `TSLDisplayCollectionItem` (`Name`) and `TSLOptionalDisplayCollectionItem` (+ `Visible`, True)
// are the items of a display's collections (marker groups, channels). `TSLLegendGroup` lists one
// collection under its `Caption` (`Visible`, `Cursor`, `OnItemClick`). `TSLLegendView` docks on
// the right: its width is that of its widest group; a group is as wide as the wider of its
// caption width + 23 and each visible item's name width + 30, and has no width while its
// collection is empty or the group is hidden — so a legend of empty groups takes no room. Items
// are drawn as buttons (`MouseOverBorderColor` 65280, `MouseOverButtonColor` 32768,
// `MouseDownBorderColor` 65535, `MouseDownButtonColor` 32896); a click on one calls the group's
// `OnItemClick` and, unless that handled it, the display's ShowProperties for the group and item.
// `ButtonsEnabled` False makes the items plain text.
//
// Ownership: the legend owns its groups; a group borrows its collection (the collection's owner
// outlives the legend or removes the group first). Threads: the window's thread.
// Failure: none.

#include <QCursor>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "display/DisplayColor.h"
#include "display/DisplayLabels.h"
#include "display/DisplayView.h"
#include "pins/ExtCollection.h"

namespace tardivox {

class TSLDisplayCollectionItem : public TOWExtCollectionItem {
 public:
  TSLDisplayCollectionItem();
  const char* ClassName() const override { return "TSLDisplayCollectionItem"; }
  std::string DisplayName() const override { return name_; }

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

 private:
  std::string name_;
};

class TSLOptionalDisplayCollectionItem : public TSLDisplayCollectionItem {
 public:
  TSLOptionalDisplayCollectionItem();
  const char* ClassName() const override { return "TSLOptionalDisplayCollectionItem"; }

  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  // The colour shown beside the item's name in a legend, if it has one.
  virtual bool LegendSwatch(TColor& /*color*/) const { return false; }

 private:
  bool visible_ = true;
};

class TSLLegendGroup : public TPersistent {
 public:
  // ChannelIndex is the item's index; setting Handled stops the display's ShowProperties.
  using TSLChartItemClickEvent =
      std::function<void(TSLLegendGroup& sender, int channelIndex, bool& handled)>;

  TSLLegendGroup(std::string caption, TOWExtCollection* items, std::function<void()> changed);

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  QCursor Cursor() const { return cursor_; }
  void SetCursor(const QCursor& cursor) { cursor_ = cursor; }
  void SetOnItemClick(TSLChartItemClickEvent handler) { onItemClick_ = std::move(handler); }
  TOWExtCollection* Items() const { return items_; }

  // The group's width in the legend's font (0 while hidden or empty).
  int Width(const TSLDisplayFont& font) const;
  // Whether the item at `index` is listed (optional items list only while visible).
  bool Listed(int index) const;
  // Runs OnItemClick; returns whether it handled the click.
  bool ItemClicked(int index);

 private:
  std::string caption_;
  TOWExtCollection* items_;
  std::function<void()> changed_;
  bool visible_ = true;
  QCursor cursor_;
  TSLChartItemClickEvent onItemClick_;
};

class TSLLegendView : public TSLOptionalView {
 public:
  explicit TSLLegendView(TSLDataDisplay& owner);

  TSLDisplayFont& Font() { return font_; }
  bool ButtonsEnabled() const { return buttonsEnabled_; }
  void SetButtonsEnabled(bool enabled);
  TColor MouseOverBorderColor() const { return colors_[0]; }
  TColor MouseOverButtonColor() const { return colors_[1]; }
  TColor MouseDownBorderColor() const { return colors_[2]; }
  TColor MouseDownButtonColor() const { return colors_[3]; }

  // Appends a group listing `items` (borrowed); returns it.
  TSLLegendGroup& AddGroup(std::string caption, TOWExtCollection* items);
  int GroupCount() const { return static_cast<int>(groups_.size()); }
  TSLLegendGroup& Groups(int index) const { return *groups_.at(static_cast<size_t>(index)); }

  void GetSize(int& width, int& height) override;
  TSLDockKind GetDockKind() override { return TSLDockKind::Right; }
  void Draw(QPainter& canvas, const TSLDrawContext& context) override;
  void MouseMove(Qt::KeyboardModifiers shift, int x, int y) override;
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, bool inside, int x,
                 int y) override;
  void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, bool inside, int x,
               int y) override;
  void MouseLeftView() override;

  struct ItemPlace {
    int group = -1;
    int item = -1;
    QRect rect;
  };
  // Where each listed item's button lies, in drawing order.
  std::vector<ItemPlace> ItemPlaces() const;

 private:
  ItemPlace ItemAt(int x, int y) const;

  TSLDisplayFont font_;
  bool buttonsEnabled_ = true;
  std::array<TColor, 4> colors_{65280, 32768, 65535, 32896};
  std::vector<std::unique_ptr<TSLLegendGroup>> groups_;
  ItemPlace over_;
  ItemPlace down_;
};

}  // namespace tardivox
