#pragma once
// Marker groups of a display: named, optional collection items (`TSLDisplayMarkerGroup`) that
// draw their markers with one shape, size, pen and brush, and carry a measurement label.
//
// `TSLDisplayMarkerGroup`: `PenColor` (white), `PenWidth` (1), `BrushColor` (white),
// `BrushSolid` (False: markers are outlines), `Shape` (msPlus), `Size` (3, the distance from
// the marker's centre to its edge), `Labels`, `Visible` (True). A new group in a
// `TSLDisplayMarkerGroups` is named "MarkerGroup" followed by the collection's item count at its
// creation (itself included); `TSLDisplayMarkers` name new markers "Marker" likewise.
// DrawMarkerShape draws one marker; the display decides where markers go.
//
// Ownership: collections own their items. Threads: the window's thread. Failure: none; an
// unknown shape name raises Exception from the setter.

#include <QPainter>
#include <QPoint>

#include <string>

#include "display/DisplayColor.h"
#include "display/DisplayLabels.h"
#include "display/DisplayLegend.h"
#include "pins/ExtCollection.h"

namespace tardivox {

enum TSLDisplayMarkerShape {
  msPoint,
  msCircle,
  msSquare,
  msDiamond,
  msPlus,
  msCross,
  msStar,
  msTriangleUp,
  msTriangleDown,
  msTriangleLeft,
  msTriangleRight,
  msHLine,
  msVLine
};

std::string MarkerShapeName(TSLDisplayMarkerShape shape);
// Raises Exception for a name that is no shape.
TSLDisplayMarkerShape MarkerShapeOf(const std::string& name);
// Draws one marker centred on `at` with the painter's pen and brush.
void DrawMarkerShape(QPainter& canvas, TSLDisplayMarkerShape shape, QPoint at, int size);

class TSLDisplayMarkerGroup : public TSLOptionalDisplayCollectionItem {
 public:
  TSLDisplayMarkerGroup();
  const char* ClassName() const override { return "TSLDisplayMarkerGroup"; }
  bool LegendSwatch(TColor& color) const override {
    color = penColor_;
    return true;
  }

  TColor PenColor() const { return penColor_; }
  void SetPenColor(TColor color) { penColor_ = color; }
  int PenWidth() const { return penWidth_; }
  void SetPenWidth(int width) { penWidth_ = width < 0 ? 0 : width; }
  TColor BrushColor() const { return brushColor_; }
  void SetBrushColor(TColor color) { brushColor_ = color; }
  bool BrushSolid() const { return brushSolid_; }
  void SetBrushSolid(bool solid) { brushSolid_ = solid; }
  TSLDisplayMarkerShape Shape() const { return shape_; }
  void SetShape(TSLDisplayMarkerShape shape) { shape_ = shape; }
  int Size() const { return size_; }
  void SetSize(int size) { size_ = size < 0 ? 0 : size; }
  TSLMeasurementLabel& Labels() { return labels_; }

  // Draws a marker of this group at `at`.
  void DrawMarker(QPainter& canvas, QPoint at) const;

 private:
  TColor penColor_ = clWhite;
  int penWidth_ = 1;
  TColor brushColor_ = clWhite;
  bool brushSolid_ = false;
  TSLDisplayMarkerShape shape_ = msPlus;
  int size_ = 3;
  TSLMeasurementLabel labels_;
};

// A collection whose new items are named `prefix` followed by the item count.
template <class Item>
class TSLNamingCollection : public TOWExtCollectionOf<Item> {
 public:
  TSLNamingCollection(TPersistent* owner, std::string prefix)
      : TOWExtCollectionOf<Item>(owner), prefix_(std::move(prefix)) {}

 protected:
  void ItemAdded(TOWExtCollectionItem& item) override {
    if (auto* named = dynamic_cast<TSLDisplayCollectionItem*>(&item)) {
      named->SetName(prefix_ + std::to_string(this->Count()));
    }
  }

 private:
  std::string prefix_;
};

class TSLDisplayMarkerGroups : public TSLNamingCollection<TSLDisplayMarkerGroup> {
 public:
  explicit TSLDisplayMarkerGroups(TPersistent* owner) : TSLNamingCollection(owner, "MarkerGroup") {}
};

class TSLDisplayMarker : public TSLOptionalDisplayCollectionItem {
 public:
  const char* ClassName() const override { return "TSLDisplayMarker"; }
};

class TSLDisplayMarkers : public TSLNamingCollection<TSLDisplayMarker> {
 public:
  explicit TSLDisplayMarkers(TPersistent* owner) : TSLNamingCollection(owner, "Marker") {}
};

}  // namespace tardivox
