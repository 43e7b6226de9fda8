#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include "TestDisplay.h"

namespace tardivox {
namespace {

using testing::TTestDisplay;

QColor Rgb(TColor color) {
  return ToQColor(color);
}

TEST(LevelViewTest, WidthFollowsTheAxisAndTheLabel) {
  TTestDisplay display;
  display.AddStandardViews();
  TSLDisplayLevelView& levels = *display.levels;
  const int labels = std::max(levels.Axis().Font().TextWidth(QStringLiteral("1000")),
                              levels.Axis().Font().TextWidth(QStringLiteral("0")));
  const int labelHeight = levels.LevelLabel().Font().TextHeight();
  struct Case {
    bool axis, label;
    int width, trackingEnd;
  };
  const std::vector<Case> cases = {
      {false, false, 14 + 4 + 2, 16},
      {true, false, 14 + 4 + labels + 9, 14 + 4 + labels + 9 - 2},
      {false, true, 14 + 4 + labelHeight + 2, 16},
      {true, true, 14 + 4 + labels + 9 + labelHeight + 2, 14 + 4 + labels + 9 - 2},
  };
  for (const auto& c : cases) {
    levels.Axis().SetVisible(c.axis);
    levels.LevelLabel().SetVisible(c.label);
    int width = 0, height = 0;
    levels.GetSize(width, height);
    EXPECT_EQ(width, c.width) << "axis " << c.axis << " label " << c.label;
    EXPECT_EQ(height, -1);
    EXPECT_EQ(levels.TrackingLineEnd(), c.trackingEnd);
  }
  levels.ViewSize().SetAutoSize(false);
  levels.ViewSize().SetSize(33);
  int width = 0, height = 0;
  levels.GetSize(width, height);
  EXPECT_EQ(width, 33) << "a fixed size overrides";
  EXPECT_EQ(levels.GetDockKind(), TSLDockKind::Right);
}

TEST(LevelViewTest, ColourSettingsTellTheDisplay) {
  TTestDisplay display;
  display.AddStandardViews();
  TSLDisplayLevelView& levels = *display.levels;
  EXPECT_EQ(levels.ColorOf(1000, 1000), 0x8000FFu) << "default palette at the top";
  levels.SetGrayScale(true);
  EXPECT_EQ(display.colorsChangedCount, 1);
  EXPECT_EQ(levels.ColorOf(1000, 1000), clWhite);
  levels.SetGrayScale(true);
  EXPECT_EQ(display.colorsChangedCount, 1) << "no change, no notice";
  levels.SetGrayScale(false);
  levels.Colors().Add();                  // black
  levels.Colors().Add().SetColor(clRed);  // blue at first, then red
  EXPECT_EQ(levels.ColorOf(1, 1), clRed);
  EXPECT_EQ(levels.PixelOf(1, 1), 0xFF0000u) << "red as a pixel";
  EXPECT_GE(display.colorsChangedCount, 4);
  levels.Colors().Items(1).SetColor(clSystemColor | 5);
  EXPECT_EQ(levels.ColorOf(1, 1), ColorToRGB(clSystemColor | 5)) << "system colours resolved";

  display.LayoutViews();
  levels.Axis().SetLogarithmic(true);
  EXPECT_TRUE(display.LayoutDirty());
  EXPECT_TRUE(levels.Logarithmic());
  levels.Axis().SetPrecision(40);
  EXPECT_EQ(levels.Axis().Precision(), 18);
}

TEST(LevelViewTest, ValueTextsFollowThePrecisionRule) {
  TTestDisplay display;
  display.AddStandardViews();
  TSLDisplayLevelView& levels = *display.levels;
  EXPECT_EQ(levels.ValueText(500), "500");
  display.scaleMax = 0.5;
  EXPECT_EQ(levels.ValueText(0.25), "0.250");
  levels.Axis().SetOnCustomLabel([](double v, std::string& text) {
    if (v == 0) text = "silence";
  });
  EXPECT_EQ(levels.ValueText(0), "silence");
}

TEST(LevelViewTest, BarShowsTheScaleTopDownAndTracksThePointer) {
  TTestDisplay display;
  display.AddStandardViews();
  display.HideOptionalViews();
  display.levels->SetVisible(true);
  display.resize(401, 57);
  display.LayoutViews();
  const TSLViewRect data = display.data->Rect();
  const int h = display.data->GetHeight() - 1;
  const int x = display.levels->GetLeft() + 2 + 7;

  QImage image = display.grab().toImage();
  EXPECT_EQ(image.pixelColor(x, data.top), Rgb(0x8000FF)) << "top row: the upper end";
  EXPECT_EQ(image.pixelColor(x, data.top + h), Rgb(clBlack)) << "bottom row: the lower end";
  EXPECT_EQ(image.pixelColor(x, data.top + h / 2), Rgb(LevelColorOf(h - h / 2, h, false, {})));
  EXPECT_EQ(image.pixelColor(display.levels->GetLeft(), data.top + 10), Rgb(clBlack))
      << "two pixels of background before the bar";

  // Tracking: the value under the pointer in the data view becomes the tracked value, and a
  // line in TrackColor marks it beside the bar.
  const QPoint inData(data.left + 30, data.top + 20);
  QMouseEvent move(QEvent::MouseMove, inData, display.mapToGlobal(inData), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&display, &move);
  image = display.grab().toImage();
  EXPECT_EQ(image.pixelColor(display.levels->GetLeft() + display.levels->TrackingLineEnd() - 1,
                             data.top + h),
            Rgb(clBlack))
      << "nothing tracked yet: no line";
  display.levels->RefreshLevelTracking();
  EXPECT_DOUBLE_EQ(display.levels->TrackedValue(), 250.0);
  image = display.grab().toImage();
  const int trackY = data.top + h - static_cast<int>(std::lround(250.0 / 1000.0 * h));
  EXPECT_EQ(
      image.pixelColor(display.levels->GetLeft() + display.levels->TrackingLineEnd() - 1, trackY),
      Rgb(clRed));
}

TEST(LevelViewTest, RenderedDisplayWithEveryViewShown) {
  TTestDisplay display;
  display.AddStandardViews();
  display.resize(450, 280);
  display.yAxis->SetDataRange(0, 500);
  display.xAxis->AxisLabel().SetText("Lines");
  display.yAxis->AxisLabel().SetText("Samples");
  display.xAxis->MinorTicks().SetCount(1);
  TOWExtCollectionOf<TSLOptionalDisplayCollectionItem> markers(nullptr);
  markers.Add().SetName("Peaks");
  markers.Add().SetName("Onsets");
  display.legend->AddGroup("Marker Groups", &markers);
  display.LayoutViews();

  const QImage image = display.grab().toImage();
  const QString path = QStringLiteral(TARDIVOX_TEST_OUTPUT_DIR "/display-all-views.png");
  ASSERT_TRUE(image.save(path));

  const auto inked = [&](const TSLViewRect& r) {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) count += image.pixelColor(x, y) != Qt::black;
    return count;
  };
  const TSLViewRect data = display.data->Rect();
  EXPECT_GT(inked(display.title->Rect()), 50) << "the title text";
  EXPECT_GT(inked(display.legend->Rect()), 50) << "the legend's caption and items";
  EXPECT_GT(inked(display.xAxis->Rect()), 100) << "the X axis ticks and labels";
  EXPECT_GT(inked(display.yAxis->Rect()), 100) << "the Y axis ticks and labels";
  // The axis lines in white: the Y axis line 5 pixels inside its band's right edge, the X axis
  // line 5 pixels below its band's top.
  const int yLine = display.yAxis->Rect().right - 5;
  EXPECT_EQ(image.pixelColor(yLine, data.top + data.bottom / 3), Qt::white);
  EXPECT_EQ(image.pixelColor(data.left + 33, display.xAxis->GetTop() + 5), Qt::white);
  EXPECT_EQ(image.pixelColor(data.left + 50, data.top + 50), display.data->fill);
  EXPECT_EQ(image.pixelColor(display.levels->GetLeft() + 5, data.top), Rgb(0x8000FF));
  // Bands around the data view: title on top, X axis below, Y axis left, levels and legend right.
  EXPECT_EQ(display.title->GetTop(), 0);
  EXPECT_EQ(display.xAxis->Rect().bottom, 280);
  EXPECT_EQ(display.yAxis->GetLeft(), 0);
  EXPECT_EQ(display.legend->Rect().right, 450);
  EXPECT_EQ(display.levels->Rect().right, display.legend->GetLeft());
  EXPECT_EQ(data.right, display.levels->GetLeft());

  // With the pointer over the data view the toolbar shows over its top left corner.
  const QPoint inData(data.left + 150, data.top + 100);
  QMouseEvent move(QEvent::MouseMove, inData, display.mapToGlobal(inData), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&display, &move);
  const QImage withToolBar = display.grab().toImage();
  ASSERT_TRUE(withToolBar.save(QStringLiteral(TARDIVOX_TEST_OUTPUT_DIR "/display-toolbar.png")));
  EXPECT_EQ(withToolBar.pixelColor(data.left + 4, data.top + 4),
            ToQColor(display.ToolBar().BorderColor()));
}

}  // namespace
}  // namespace tardivox
