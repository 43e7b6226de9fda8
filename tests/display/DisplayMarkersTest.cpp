#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "core/Exceptions.h"
#include "display/DisplayMarkers.h"

namespace tardivox {
namespace {

TEST(DisplayMarkersTest, NewItemsAreNamedByTheirCount) {
  TSLDisplayMarkerGroups groups(nullptr);
  EXPECT_EQ(groups.Add().Name(), "MarkerGroup1");
  EXPECT_EQ(groups.Add().Name(), "MarkerGroup2");
  groups.Delete(0);
  EXPECT_EQ(groups.Add().Name(), "MarkerGroup2") << "the count at creation, not a serial";
  TSLDisplayMarkers markers(nullptr);
  EXPECT_EQ(markers.Add().Name(), "Marker1");
  EXPECT_EQ(groups.Items(0).Shape(), msPlus);
  EXPECT_EQ(groups.Items(0).Size(), 3);
  EXPECT_TRUE(groups.Items(0).Visible());
}

TEST(DisplayMarkersTest, ShapesByNameAndTheirPixels) {
  for (int s = msPoint; s <= msVLine; ++s) {
    const auto shape = static_cast<TSLDisplayMarkerShape>(s);
    EXPECT_EQ(MarkerShapeOf(MarkerShapeName(shape)), shape);
  }
  EXPECT_THROW(MarkerShapeOf("msBlob"), Exception);

  struct Case {
    TSLDisplayMarkerShape shape;
    std::vector<QPoint> ink, clear;  // relative to the centre, size 3
  };
  const std::vector<Case> cases = {
      {msPlus, {{0, 0}, {3, 0}, {-3, 0}, {0, 3}, {0, -3}}, {{2, 2}, {-2, -2}}},
      {msCross, {{0, 0}, {3, 3}, {-3, -3}, {3, -3}}, {{3, 0}, {0, 3}}},
      {msSquare, {{-3, -3}, {3, 3}, {3, -3}, {0, -3}}, {{0, 0}, {1, 1}}},
      {msHLine, {{-3, 0}, {3, 0}}, {{0, 2}}},
      {msVLine, {{0, -3}, {0, 3}}, {{2, 0}}},
      {msPoint, {{0, 0}}, {{1, 0}, {0, 1}}},
  };
  for (const auto& c : cases) {
    QImage image(21, 21, QImage::Format_RGB32);
    image.fill(Qt::black);
    TSLDisplayMarkerGroup group;
    group.SetShape(c.shape);
    {
      QPainter painter(&image);
      group.DrawMarker(painter, QPoint(10, 10));
    }
    for (QPoint p : c.ink) {
      EXPECT_EQ(image.pixelColor(QPoint(10, 10) + p), Qt::white)
          << MarkerShapeName(c.shape) << " at " << p.x() << "," << p.y();
    }
    for (QPoint p : c.clear) {
      EXPECT_EQ(image.pixelColor(QPoint(10, 10) + p), Qt::black)
          << MarkerShapeName(c.shape) << " clear at " << p.x() << "," << p.y();
    }
  }
}

}  // namespace
}  // namespace tardivox
