// The waterfall display on real widgets (offscreen platform): its history and colour scale,
// the incremental image against images rendered from scratch, the averaged view, the stream
// kinds, the hold, the hit point, the axes' labels and zooming.
#include "display/Waterfall.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "buffers/IntegerBuffer.h"
#include "core/Exceptions.h"
#include "display/WaterfallProperties.h"
#include "processing/RealTestSupport.h"

namespace tardivox {
namespace {

using testing::TRealSource;
using Values = std::vector<double>;

constexpr uint32_t kRgb = 0xFFFFFF;

// A waterfall fed through its input pin, at the program's strip size.
struct TFedWaterfall {
  TFedWaterfall() {
    waterfall.resize(401, 57);
    for (TSLOptionalView* view :
         std::vector<TSLOptionalView*>{&waterfall.Title(), &waterfall.XAxis(), &waterfall.YAxis(),
                                       &waterfall.Legend(), &waterfall.Levels()}) {
      view->SetVisible(false);
    }
    waterfall.ToolBar().SetVisible(false);
    EXPECT_TRUE(source.OutputPin.ConnectTo(&waterfall.InputPin()));
  }
  void Lines(int count, const Values& values) {
    for (int i = 0; i < count; ++i) source.Send(values);
  }
  QImage Picture() const { return waterfall.Image().Picture(); }
  uint32_t Pixel(int x, int y) const { return Picture().pixel(x, y) & kRgb; }

  TSLWaterfall waterfall;
  TRealSource source;
};

uint32_t PixelOfColor(TColor color) {
  return ColorToPixel(color);
}

// The palette's pixel at fraction f of the scale.
uint32_t PaletteAt(double f) {
  return LevelPixelOf(f, 1.0, false, {});
}

void Move(QWidget& widget, QPoint at) {
  QMouseEvent event(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&widget, &event);
}

void Mouse(QWidget& widget, QEvent::Type type, QPoint at) {
  QMouseEvent event(type, at, widget.mapToGlobal(at), Qt::LeftButton,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&widget, &event);
}

TEST(WaterfallTest, StartsWithTheStoredDefaults) {
  TSLWaterfall waterfall;
  EXPECT_EQ(waterfall.XAxis().Samples(), 512);
  EXPECT_EQ(waterfall.RefreshInterval(), 100);
  EXPECT_EQ(waterfall.Title().Text(), "Waterfall");
  EXPECT_EQ(waterfall.YAxis().LineLength(), 500);
  EXPECT_EQ(waterfall.GetSampleRate(), 10000.0);
  EXPECT_EQ(waterfall.XAxis().MaxTick().Value(), 1024.0);
  EXPECT_EQ(waterfall.YAxis().MaxTick(), 500.0);
  EXPECT_TRUE(waterfall.Highlighting().MouseHitPoint().Enabled());
  EXPECT_EQ(waterfall.Highlighting().MouseHitPoint().Color(), clRed);
  EXPECT_EQ(waterfall.Highlighting().Markers().Color(), clLime);
  // Every published setting is at its default: a stored layout records none of them.
  std::function<void(const TPersistent&, const std::string&)> check = [&](const TPersistent& object,
                                                                          const std::string& path) {
    for (const TPublishedProperty& p : object.PublishedProperties()) {
      if (p.IsObject()) {
        if (p.name != "InputPin") check(*p.object, path + p.name + ".");
      } else if (p.get) {
        EXPECT_TRUE(p.IsDefault()) << path << p.name;
      }
    }
  };
  check(waterfall, "");
  // Views in their order: title, X axis, Y axis, legend, levels, data view.
  ASSERT_EQ(waterfall.Views().Count(), 6);
  EXPECT_EQ(&waterfall.Views().Items(0), &waterfall.Title());
  EXPECT_EQ(&waterfall.Views().Items(4), &waterfall.Levels());
  EXPECT_EQ(&waterfall.Views().Items(5), waterfall.GetDataView());
}

TEST(WaterfallTest, SettingsByPathAndSamplesZeroReadsBackAs1024) {
  TSLWaterfall waterfall;
  waterfall.SetPropertyValue("XAxis.Samples", int64_t{0});
  EXPECT_EQ(waterfall.XAxis().Samples(), 1024);
  waterfall.SetPropertyValue("XAxis.Samples", int64_t{-5});
  EXPECT_EQ(waterfall.XAxis().Samples(), 1024);
  waterfall.SetPropertyValue("YAxis.TicksMode", std::string("atmManual"));
  EXPECT_EQ(waterfall.YAxis().TicksMode(), atmManual);
  EXPECT_THROW(waterfall.SetPropertyValue("YAxis.TicksMode", std::string("atmNone")), Exception);
  waterfall.SetPropertyValue("Enabled", false);
  EXPECT_FALSE(waterfall.isEnabled());
  waterfall.SetPropertyValue("Highlighting.MouseHitPoint.PointLabel.Visible", false);
  EXPECT_FALSE(waterfall.Highlighting().MouseHitPoint().PointLabel().Visible());
  waterfall.SetPropertyValue("Levels.Axis.Logarithmic", true);
  EXPECT_TRUE(waterfall.Levels().Axis().Logarithmic());
}

TEST(WaterfallTest, AnEmptyWaterfallShowsOnlyItsColor) {
  TFedWaterfall fed;
  fed.waterfall.SetColor(0x203040);
  const QImage shown = fed.waterfall.grab().toImage();
  for (int y = 0; y < shown.height(); y += 7) {
    for (int x = 0; x < shown.width(); x += 13) {
      ASSERT_EQ(shown.pixel(x, y) & kRgb, PixelOfColor(0x203040)) << x << "," << y;
    }
  }
  EXPECT_FALSE(fed.waterfall.Image().Allocated());
}

TEST(WaterfallTest, TheFirstLineSetsTheExtremesAndFillsColumnZero) {
  TFedWaterfall fed;
  fed.waterfall.SetColor(0x203040);
  fed.source.Start(44100);
  fed.source.Send({-1.0, 0.0, 1.0, 3.0});
  EXPECT_EQ(fed.waterfall.ScaleMinimum(), -1.0);
  EXPECT_EQ(fed.waterfall.ScaleMaximum(), 3.0);
  fed.waterfall.UpdateImage();
  const QImage picture = fed.Picture();
  ASSERT_EQ(picture.size(), QSize(512, 4));
  // Sample 0 at the bottom: minimum black, maximum the palette's end.
  EXPECT_EQ(picture.pixel(0, 3) & kRgb, PaletteAt(0.0));
  EXPECT_EQ(picture.pixel(0, 2) & kRgb, PaletteAt(0.25));
  EXPECT_EQ(picture.pixel(0, 0) & kRgb, PaletteAt(1.0));
  for (int x = 1; x < 512; x += 37) {
    EXPECT_EQ(picture.pixel(x, 1) & kRgb, PixelOfColor(0x203040)) << "column " << x;
  }
  EXPECT_EQ(fed.waterfall.YAxis().LineLength(), 500) << "followed on the window's thread";
  fed.waterfall.grab();
  EXPECT_EQ(fed.waterfall.YAxis().LineLength(), 4);
}

TEST(WaterfallTest, AnAllEqualOnlyLineIsBlack) {
  TFedWaterfall fed;
  fed.source.Send(Values(16, 7.5));
  fed.waterfall.UpdateImage();
  for (int y = 0; y < 16; ++y) EXPECT_EQ(fed.Pixel(0, y), 0u) << y;
}

TEST(WaterfallTest, ALouderLineRescalesAndTheMaximumDropsOnlyWhenItLeaves) {
  TFedWaterfall fed;
  fed.waterfall.XAxis().SetSamples(8);
  fed.Lines(4, {0.0, 1.0});
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.Pixel(0, 0), PaletteAt(1.0));
  fed.source.Send({0.0, 10.0});  // louder
  EXPECT_EQ(fed.waterfall.ScaleMaximum(), 10.0);
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.waterfall.Image().LinesConvertedLastUpdate(), 5) << "every line re-rendered";
  EXPECT_EQ(fed.Pixel(0, 0), PaletteAt(0.1));
  // Quieter lines do not lower the maximum until the loud line has left.
  fed.Lines(7, {0.0, 2.0});
  EXPECT_EQ(fed.waterfall.ScaleMaximum(), 10.0);
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.waterfall.Image().LinesConvertedLastUpdate(), 7);
  fed.source.Send({0.0, 2.0});  // the loud line (the 5th) leaves now
  EXPECT_EQ(fed.waterfall.GetLineCount(), 8);
  EXPECT_EQ(fed.waterfall.ScaleMaximum(), 2.0);
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.waterfall.Image().LinesConvertedLastUpdate(), 8);
  EXPECT_EQ(fed.Pixel(7, 0), PaletteAt(1.0));
}

TEST(WaterfallTest, AFullHistoryShiftsByTheNewLinesOnly) {
  TFedWaterfall fed;
  fed.waterfall.XAxis().SetSamples(8);
  for (int i = 0; i < 8; ++i) fed.source.Send({0.0, 10.0, double(i)});
  fed.waterfall.UpdateImage();
  fed.source.Send({0.0, 10.0, 8.0});
  fed.source.Send({0.0, 10.0, 9.0});
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.waterfall.Image().LinesConvertedLastUpdate(), 2);
  // Column j holds line j + 2 (its third sample is the top row).
  for (int j = 0; j < 8; ++j) EXPECT_EQ(fed.Pixel(j, 0), PaletteAt((j + 2) / 10.0)) << j;
  // A whole depth of lines since the last draw: everything again.
  fed.Lines(8, {0.0, 10.0, 5.0});
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.waterfall.Image().LinesConvertedLastUpdate(), 8);
  // Drawing with nothing new converts nothing.
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.waterfall.Image().LinesConvertedLastUpdate(), 0);
}

TEST(WaterfallTest, LoweringTheDepthKeepsTheNewestLines) {
  TFedWaterfall fed;
  for (int i = 0; i < 512; ++i) fed.source.Send({0.0, 511.0, double(i)});
  fed.waterfall.UpdateImage();
  fed.waterfall.XAxis().SetSamples(128);
  // Before the next line the history still holds 512: the image shows the newest 128.
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.Picture().width(), 128);
  EXPECT_EQ(fed.Pixel(0, 0), PaletteAt(384 / 511.0));
  fed.source.Send({0.0, 511.0, 300.0});
  EXPECT_EQ(fed.waterfall.GetLineCount(), 128);
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.waterfall.Image().LinesConvertedLastUpdate(), 1)
      << "the image showed the lines the history kept: one new column";
  EXPECT_EQ(fed.Pixel(0, 0), PaletteAt(385 / 511.0));
  EXPECT_EQ(fed.Pixel(127, 0), PaletteAt(300 / 511.0));
}

TEST(WaterfallTest, AStartOnHoldKeepsTheOldLinesUntilTheHoldEnds) {
  TFedWaterfall fed;
  fed.waterfall.XAxis().SetSamples(8);
  fed.Lines(3, {0.0, 1.0});
  fed.waterfall.SetHold(true);
  fed.source.Start(22050);
  fed.Lines(2, {5.0, 6.0});
  EXPECT_EQ(fed.waterfall.GetLineCount(), 3) << "the old lines stay visible";
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.Pixel(2, 0), PaletteAt(1.0));
  fed.waterfall.SetHold(false);
  EXPECT_EQ(fed.waterfall.GetLineCount(), 2) << "cleared, then the held buffers";
  EXPECT_EQ(fed.waterfall.ScaleMinimum(), 5.0);
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.waterfall.Image().LinesConvertedLastUpdate(), 2);
  EXPECT_EQ(fed.Pixel(1, 0), PaletteAt(1.0));
  EXPECT_EQ(fed.Pixel(2, 0), fed.Pixel(7, 1)) << "no stale column of the old history";
}

TEST(WaterfallTest, HeldBuffersAreBoundedByTheDepth) {
  TFedWaterfall fed;
  fed.waterfall.XAxis().SetSamples(4);
  fed.waterfall.SetHold(true);
  for (int i = 0; i < 10; ++i) fed.source.Send({double(i)});
  fed.waterfall.SetHold(false);
  EXPECT_EQ(fed.waterfall.GetLineCount(), 4);
  EXPECT_EQ(fed.waterfall.ScaleMinimum(), 6.0) << "the oldest held buffers were dropped";
}

TEST(WaterfallTest, StartKindsGiveTheRateAndTheFrequencyScale) {
  TFedWaterfall fed;
  TRef<IOWNotifyOperation> plain(new TOWStartOperation);
  fed.source.OutputPin.Notify(*plain);
  EXPECT_EQ(fed.waterfall.GetSampleRate(), 10000.0);
  EXPECT_DOUBLE_EQ(fed.waterfall.GetFrequencyMax(), 5.0);
  TRef<IOWNotifyOperation> spectrum(new TOWStartSpectrumOperation(1024, 44100.0));
  fed.source.OutputPin.Notify(*spectrum);
  EXPECT_EQ(fed.waterfall.GetSampleRate(), 44100.0);
  EXPECT_DOUBLE_EQ(fed.waterfall.GetFrequencyMax(), 22.05);
  EXPECT_TRUE(fed.waterfall.SpectrumStream());
  EXPECT_FALSE(fed.waterfall.IntensityStream());
  TRef<IOWNotifyOperation> zero(new TOWStartIntensityOperation(0, 0.0));
  fed.source.OutputPin.Notify(*zero);
  EXPECT_EQ(fed.waterfall.GetSampleRate(), 10000.0) << "a rate of 0 is replaced";
  EXPECT_TRUE(fed.waterfall.IntensityStream());
  EXPECT_FALSE(fed.waterfall.SpectrumStream());
}

TEST(WaterfallTest, IntegerBuffersDrawLikeRealOnes) {
  TFedWaterfall real, integer;
  const std::vector<int32_t> values = {-3, 0, 7, 12, 5};
  real.source.Send(Values(values.begin(), values.end()));
  TRef<ISLIntegerBuffer> buffer(new TSLIntegerBuffer(static_cast<uint32_t>(values.size())));
  std::copy(values.begin(), values.end(), buffer->WriteData());
  integer.source.OutputPin.SendBuffer(buffer);
  ASSERT_EQ(integer.waterfall.GetLineCount(), 1);
  real.waterfall.UpdateImage();
  integer.waterfall.UpdateImage();
  EXPECT_EQ(real.Picture(), integer.Picture());
}

TEST(WaterfallTest, TheHistoryDoesNotChangeWhenTheSenderWritesItsBufferAgain) {
  TFedWaterfall fed;
  TRef<ISLRealBuffer> buffer(new TSLRealBuffer(2));
  buffer->WriteData()[0] = 1.0;
  buffer->WriteData()[1] = 2.0;
  fed.source.OutputPin.SendBuffer(buffer);
  buffer->ModifyData()[1] = 50.0;  // the sender reuses its buffer
  EXPECT_EQ(fed.waterfall.ScaleMaximum(), 2.0);
  double value = 0;
  ASSERT_TRUE(fed.waterfall.ValueOfLine(0, 1, value));
  EXPECT_EQ(value, 2.0);
}

TEST(WaterfallTest, TheLogarithmicMapIsMonotonicThroughZero) {
  TSLWaterfallScale scale{-100.0, 100.0, true};
  double previous = -INFINITY;
  for (double v = -100.0; v <= 100.0; v += 0.25) {
    const double t = scale.Transform(v);
    EXPECT_GT(t, previous) << v;
    EXPECT_DOUBLE_EQ(t, -scale.Transform(-v));
    previous = t;
  }
  double offset = 0, range = 0;
  scale.Transformed(offset, range);
  EXPECT_DOUBLE_EQ(offset, -std::log10(101.0));
  EXPECT_DOUBLE_EQ(range, 2 * std::log10(101.0));

  TFedWaterfall fed;
  fed.waterfall.Levels().Axis().SetLogarithmic(true);
  fed.source.Send({-100.0, -9.0, 0.0, 9.0, 100.0});
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.Pixel(0, 2), PaletteAt(0.5)) << "0 in the middle of a symmetric scale";
  EXPECT_EQ(fed.Pixel(0, 1), PaletteAt(0.5 + 0.5 * 1.0 / std::log10(101.0)));
}

TEST(WaterfallTest, DisabledItKeepsScrollingButTakesNoPointer) {
  TFedWaterfall fed;
  fed.waterfall.SetPropertyValue("Enabled", false);
  fed.Lines(3, {0.0, 1.0});
  EXPECT_EQ(fed.waterfall.GetNewLineCount(), 3);
  fed.waterfall.RefreshTick();
  fed.waterfall.grab();
  EXPECT_EQ(fed.waterfall.GetNewLineCount(), 0) << "the image followed the lines";
  EXPECT_EQ(fed.waterfall.Image().LinesDrawn(), 3);
  fed.waterfall.show();
  Move(fed.waterfall, QPoint(1, 10));
  EXPECT_FALSE(fed.waterfall.DataView().HitPointValid());
  fed.waterfall.SetPropertyValue("Enabled", true);
  Move(fed.waterfall, QPoint(1, 10));
  EXPECT_TRUE(fed.waterfall.DataView().HitPointValid());
}

// Counts the paints a widget receives.
struct TPaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Repaints follow the ticks: a paint asks for no further one by itself, however the pointer
// and the level view stand.
TEST(WaterfallTest, APaintAsksForNoFurtherPaint) {
  TFedWaterfall fed;
  fed.waterfall.Levels().SetVisible(true);
  fed.waterfall.show();
  TPaintCounter counter;
  fed.waterfall.installEventFilter(&counter);
  Move(fed.waterfall, QPoint(20, 20));
  for (int tick = 0; tick < 5; ++tick) {
    fed.Lines(3, {0.0, double(tick), 3.0});
    fed.waterfall.RefreshTick();
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  }
  const int afterTicks = counter.paints;
  EXPECT_GE(afterTicks, 5);
  for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
  fed.waterfall.RefreshTick();
  for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(counter.paints, afterTicks) << "nothing new: no paint";
  EXPECT_LE(afterTicks, 10) << "at most one paint per tick (and one for the pointer)";
}

// Random sequences of lines (of unequal lengths too), depth, orientation, reversal, scale and
// colour changes: after every step the incrementally kept image, the averaged view and the
// whole control equal what a waterfall that renders everything from scratch shows.
TEST(WaterfallTest, TheIncrementalImageEqualsTheImageRenderedFromScratch) {
  TFedWaterfall incremental, scratch;
  std::mt19937 random(1234);
  const auto both = [&](auto&& action) {
    action(incremental.waterfall);
    action(scratch.waterfall);
  };
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  both([](TSLWaterfall& w) { w.XAxis().SetSamples(12); });
  int lines = 0, conversions = 0;
  for (int step = 0; step < 400; ++step) {
    const int action = pick(100);
    if (action < 60) {
      const int count = 1 + pick(pick(10) == 0 ? 20 : 3);
      for (int i = 0; i < count; ++i) {
        const int length = pick(8) == 0 ? 3 + pick(6) : 6;
        Values values(static_cast<size_t>(length));
        for (double& v : values) v = pick(2000) / 10.0 - 100.0;
        incremental.source.Send(values);
        scratch.source.Send(values);
        ++lines;
      }
    } else if (action < 70) {
      const int depth = 2 + pick(14);
      both([&](TSLWaterfall& w) { w.XAxis().SetSamples(depth); });
    } else if (action < 75) {
      const bool vertical = pick(2) == 1;
      both([&](TSLWaterfall& w) { w.SetVertical(vertical); });
    } else if (action < 80) {
      const bool reversed = pick(2) == 1;
      both([&](TSLWaterfall& w) { w.XAxis().SetReversed(reversed); });
    } else if (action < 85) {
      const bool log = pick(2) == 1;
      both([&](TSLWaterfall& w) { w.Levels().Axis().SetLogarithmic(log); });
    } else if (action < 90) {
      const bool autoscale = pick(3) != 0;
      const int min = -pick(50), max = pick(80);
      both([&](TSLWaterfall& w) {
        w.Levels().Axis().SetAutoscale(autoscale);
        w.Levels().Axis().SetMin(min);
        w.Levels().Axis().SetMax(max);
      });
    } else if (action < 93) {
      const TColor color = static_cast<TColor>(random() & 0xFFFFFF);
      both([&](TSLWaterfall& w) { w.SetColor(color); });
    } else if (action < 96) {
      both([](TSLWaterfall& w) { w.SetHold(true); });
      incremental.source.Send({1.0, 2.0});
      scratch.source.Send({1.0, 2.0});
      if (pick(2) == 0) {
        incremental.source.Start(44100);
        scratch.source.Start(44100);
      }
      both([](TSLWaterfall& w) { w.SetHold(false); });
    } else {
      const QSize size(100 + pick(400), 20 + pick(100));
      both([&](TSLWaterfall& w) { w.resize(size); });
    }
    if (pick(3) == 0) continue;                // several steps between draws, as between ticks
    scratch.waterfall.ImageGeometryChanged();  // forget its picture: a render from scratch
    const QImage shownScratch = scratch.waterfall.grab().toImage();
    const QImage shown = incremental.waterfall.grab().toImage();
    conversions += incremental.waterfall.Image().LinesConvertedLastUpdate();
    // Without lines the image is not drawn (only the background shows).
    if (incremental.waterfall.GetLineCount() > 0) {
      ASSERT_EQ(incremental.Picture(), scratch.Picture()) << "step " << step;
    }
    ASSERT_EQ(shown, shownScratch) << "step " << step;
  }
  EXPECT_GT(lines, 300);
  EXPECT_LT(conversions, 3 * lines) << "most draws converted only their new lines";
}

// Geometry changes that keep the image's byte size (3 × 8 against 6 × 4 pixels, a depth
// change of a reversed image) still rebuild it.
TEST(WaterfallTest, AGeometryOfTheSameSizeRebuildsTheImage) {
  TFedWaterfall fed;
  fed.waterfall.XAxis().SetSamples(8);
  for (int i = 0; i < 8; ++i) fed.source.Send({0.0, double(i), 8.0});
  fed.waterfall.UpdateImage();
  fed.waterfall.SetVertical(true);
  fed.waterfall.UpdateImage();
  const QImage vertical = fed.Picture();
  ASSERT_EQ(vertical.size(), QSize(3, 8));
  // Oldest line at the top, sample k in column k.
  EXPECT_EQ(vertical.pixel(1, 0) & kRgb, PaletteAt(0.0));
  EXPECT_EQ(vertical.pixel(1, 7) & kRgb, PaletteAt(7 / 8.0));
  fed.waterfall.XAxis().SetReversed(true);
  fed.waterfall.UpdateImage();
  EXPECT_EQ(fed.Pixel(1, 0), PaletteAt(7 / 8.0)) << "reversed: the newest line at the top";
  fed.waterfall.SetVertical(false);
  fed.source.Send({0.0, 1.0, 8.0});
  fed.waterfall.UpdateImage();
  // Reversed horizontal: the newest line at the left edge.
  EXPECT_EQ(fed.Pixel(0, 1), PaletteAt(1 / 8.0));
  EXPECT_EQ(fed.Pixel(7, 1), PaletteAt(1 / 8.0));
  EXPECT_EQ(fed.Pixel(6, 1), PaletteAt(2 / 8.0));
}

TEST(WaterfallTest, RowsAndColumnsTradingOffRebuildTheImage) {
  TFedWaterfall fed, scratch;
  for (TFedWaterfall* w : {&fed, &scratch}) {
    w->waterfall.XAxis().SetSamples(6);
    for (int i = 0; i < 3; ++i) w->source.Send({1.0, 8.0, 2.0, 3.0});  // same extremes
    for (int i = 0; i < 3; ++i) w->source.Send({8.0, 7.0, 6.0, 5.0, 4.0, 3.0, 2.0, 1.0});
  }
  fed.waterfall.UpdateImage();
  ASSERT_EQ(fed.Picture().size(), QSize(6, 4));
  // 6 lines of 4 samples become 3 lines of 8: the same number of pixels.
  for (TFedWaterfall* w : {&fed, &scratch}) {
    w->waterfall.XAxis().SetSamples(3);
    w->source.Send({8.0, 7.0, 6.0, 5.0, 4.0, 3.0, 2.0, 1.0});
  }
  fed.waterfall.UpdateImage();
  scratch.waterfall.UpdateImage();
  ASSERT_EQ(fed.Picture().size(), QSize(3, 8));
  EXPECT_EQ(fed.Picture(), scratch.Picture());
}

TEST(WaterfallTest, LinesOfUnequalLengthNeverReadPastTheirEnd) {
  TFedWaterfall fed;
  fed.waterfall.SetColor(0x0000FF);
  fed.source.Send({0.0, 1.0, 2.0, 3.0});
  fed.source.Send({3.0});           // shorter: the rest shows the background
  fed.source.Send(Values(9, 3.0));  // longer: its surplus is not shown
  fed.waterfall.UpdateImage();
  const QImage picture = fed.Picture();
  ASSERT_EQ(picture.height(), 4) << "rows follow the oldest line";
  EXPECT_EQ(fed.Pixel(1, 3), PaletteAt(1.0));
  EXPECT_EQ(fed.Pixel(1, 0), PixelOfColor(0x0000FF));
  EXPECT_EQ(fed.Pixel(2, 0), PaletteAt(1.0));
  double value = 0;
  EXPECT_TRUE(fed.waterfall.ValueOfLine(1, 2, value));
  EXPECT_EQ(value, -100000.0) << "outside the line";
}

// Each pixel of the view is the average of its area of the natural image.
TEST(WaterfallTest, TheViewAveragesTheImage) {
  TSLWaterfallImage image;
  const TSLWaterfallGeometry geometry{4, 6, false, false};
  const auto plan = image.Prepare(geometry, true, 4, 4);
  ASSERT_TRUE(plan.full);
  TSLLevelPixelTable grey;
  grey.Build(true, {});
  const TSLWaterfallScale scale{0.0, 255.0, false};  // sample v shows grey level v
  for (int p = 0; p < 4; ++p) {
    TRef<ISLRealBuffer> line(new TSLRealBuffer(6));
    for (int k = 0; k < 6; ++k) line->WriteData()[k] = 10.0 * p + 100.0 * (k / 3);
    image.RenderLine(p, *line, scale, grey, 0);
  }
  const QImage& view = image.Reduced(QSize(2, 2), 0, 4, 0, 6);
  EXPECT_EQ(image.LinesReducedLastCall(), 4);
  ASSERT_EQ(view.size(), QSize(2, 2));
  // Bottom row: samples 0 … 2 (0 + 10p), top row: 3 … 5 (100 + 10p); columns average 2 lines.
  EXPECT_EQ(view.pixel(0, 1) & 0xFF, 5u);
  EXPECT_EQ(view.pixel(1, 1) & 0xFF, 25u);
  EXPECT_EQ(view.pixel(0, 0) & 0xFF, 105u);
  EXPECT_EQ(view.pixel(1, 0) & 0xFF, 125u);
  image.Reduced(QSize(2, 2), 0, 4, 0, 6);
  EXPECT_EQ(image.LinesReducedLastCall(), 0) << "nothing new: nothing reduced again";
  EXPECT_FALSE(image.ViewRebuiltLastCall());
  // A zoom onto lines 2 … 4 and samples 3 … 6, larger than the source: pixels repeat.
  const QImage& zoomed = image.Reduced(QSize(4, 3), 2, 4, 3, 6);
  EXPECT_EQ(zoomed.pixel(0, 0) & 0xFF, 120u);
  EXPECT_EQ(zoomed.pixel(3, 2) & 0xFF, 130u);
  // Positions and ranges outside the store are brought into it.
  image.RenderLine(7, *TRef<ISLRealBuffer>(new TSLRealBuffer(6)), scale, grey, 0);
  EXPECT_FALSE(image.Reduced(QSize(3, 3), -5, 99, -1, 1000).isNull());
}

TEST(WaterfallTest, HitPointOverALineAndBeyondTheNewest) {
  TFedWaterfall fed;
  fed.waterfall.SetColor(0x202020);
  fed.waterfall.show();
  Values values(57);
  for (size_t k = 0; k < values.size(); ++k) values[k] = double(k);
  fed.Lines(100, values);
  fed.waterfall.grab();
  // The data view is 401 × 57 (inner 400 × 56): column x shows line 512 × x / 400.
  Move(fed.waterfall, QPoint(300, 20));
  EXPECT_FALSE(fed.waterfall.DataView().HitPointValid()) << "right of the newest line";
  EXPECT_EQ(fed.waterfall.DataView().ValueAt(300, 20), fed.waterfall.ScaleMinimum());
  Move(fed.waterfall, QPoint(40, 20));
  ASSERT_TRUE(fed.waterfall.DataView().HitPointValid());
  // Row 20 of 56 over 500 samples (the line length axis until a paint followed it)… after the
  // paint above, 57 samples: row 57 × 20 / 56 = 20, sample 57 − 20 − 1 = 36.
  EXPECT_EQ(fed.waterfall.DataView().HitValue(), 36.0);
  const QImage shown = fed.waterfall.grab().toImage();
  const uint32_t outline = PixelOfColor(fed.waterfall.ValueColor(36.0));
  for (QPoint corner : {QPoint(38, 18), QPoint(42, 18), QPoint(38, 22), QPoint(42, 22)}) {
    EXPECT_EQ(shown.pixel(corner) & kRgb, outline) << corner.x() << "," << corner.y();
  }
  EXPECT_EQ(shown.pixel(40, 20) & kRgb, PixelOfColor(0x202020)) << "filled with Color";
  fed.waterfall.Highlighting().MouseHitPoint().SetUseChannelColor(false);
  const QImage red = fed.waterfall.grab().toImage();
  for (int d = -2; d <= 2; ++d) {
    EXPECT_EQ(red.pixel(40 + d, 18) & kRgb, PixelOfColor(clRed)) << d;
    EXPECT_EQ(red.pixel(42, 20 + d) & kRgb, PixelOfColor(clRed)) << d;
  }
  EXPECT_NE(red.pixel(43, 20) & kRgb, PixelOfColor(clRed)) << "5 × 5, no more";
  EXPECT_NE(red.pixel(40, 23) & kRgb, PixelOfColor(clRed));
}

TEST(WaterfallTest, PointLabelPatterns) {
  struct Case {
    const char* pattern;
    const char* expected;
  } cases[] = {
      {"", "x : y : z"},
      {"%D", "x : y : z"},
      {"%Z%%", "z%"},
      {"[%x|%Y|%z]", "[x|y|z]"},
      {"a%qb", "ab"},
      {"end%", "end"},
      {"%d!%D", "x : y : z!x : y : z"},
      {"100%% %", "100% "},
      {"%%%", "%"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatPointLabel(c.pattern, "x", "y", "z"), c.expected) << c.pattern;
  }
}

TEST(WaterfallTest, ThePointLabelShowsTheAxisAndLevelTexts) {
  TFedWaterfall fed;
  fed.waterfall.show();
  fed.Lines(512, Values(56, 2.5));
  fed.waterfall.grab();
  // The image covers the view's inner 400 × 56 pixels: x = 400 is past the last line.
  Move(fed.waterfall, QPoint(400, 0));
  EXPECT_FALSE(fed.waterfall.DataView().HitPointValid());
  Move(fed.waterfall, QPoint(399, 0));
  ASSERT_TRUE(fed.waterfall.DataView().HitPointValid());
  fed.waterfall.Highlighting().MouseHitPoint().PointLabel().SetText("%X|%Y|%Z");
  EXPECT_EQ(fed.waterfall.GetPointLabelText(), "511|56.0|2.5");
}

TEST(WaterfallTest, FrequencyAndManualLabels) {
  TFedWaterfall fed;
  auto& y = fed.waterfall.YAxis();
  fed.source.Start(44100);
  fed.source.Send(Values(1024, 0.0));
  fed.waterfall.grab();
  EXPECT_EQ(y.CaptionText(), "Samples");
  EXPECT_EQ(y.LabelMax(), 1024.0);
  y.SetTicksMode(atmFrequency);
  EXPECT_EQ(y.CaptionText(), "kHz");
  EXPECT_EQ(y.LabelMin(), 0.0);
  EXPECT_DOUBLE_EQ(y.LabelMax(), 22.05);
  y.SetPrecision(4);
  EXPECT_EQ(y.ValueText(y.LabelMax()), "22.05");
  y.SetTicksMode(atmManual);
  y.SetMinMax(-3.0, 7.5);
  EXPECT_EQ(y.LabelMin(), -3.0);
  EXPECT_EQ(y.LabelMax(), 7.5);
  y.SetTicksMode(atmIntensity);
  EXPECT_EQ(y.CaptionText(), "Intensity");
  y.AxisLabel().SetText("Amplitude");
  EXPECT_EQ(y.CaptionText(), "Amplitude");
  EXPECT_EQ(FrequencyUnit(-1), "mHz");
  EXPECT_EQ(FrequencyUnit(0), "Hz");
  EXPECT_EQ(FrequencyUnit(2), "Mhz");
  EXPECT_EQ(FrequencyUnit(3), "Hz (E9)");

  auto& x = fed.waterfall.XAxis();
  EXPECT_EQ(x.LabelMax(), 512.0) << "MaxTick.Value has no effect while AutoScale";
  x.MaxTick().SetAutoScale(false);
  EXPECT_EQ(x.LabelMax(), 1024.0);
  EXPECT_EQ(x.ValueText(511.6), "512");
}

TEST(WaterfallTest, ZoomKeepsWholeLinesAndMinimumSpans) {
  TFedWaterfall fed;
  fed.Lines(10, Values(100, 1.0));
  fed.waterfall.grab();
  fed.waterfall.ZoomToRange(10.3, 20.0, 10.4, 20.5);
  EXPECT_TRUE(fed.waterfall.Zoomed());
  EXPECT_TRUE(fed.waterfall.Hold()) << "HoldOnZoom";
  EXPECT_EQ(fed.waterfall.GetZoomXMin(), 9.0);
  EXPECT_EQ(fed.waterfall.GetZoomXMax(), 11.0);
  EXPECT_DOUBLE_EQ(fed.waterfall.GetZoomYMax() - fed.waterfall.GetZoomYMin(), 2.0);
  fed.waterfall.ZoomToRange(-50, -5, 30, 10);
  EXPECT_EQ(fed.waterfall.GetZoomXMin(), 0.0) << "moved back inside";
  EXPECT_EQ(fed.waterfall.GetZoomXMax(), 80.0);
  EXPECT_EQ(fed.waterfall.GetZoomYMin(), 0.0);
  fed.waterfall.ZoomUndo();
  EXPECT_EQ(fed.waterfall.GetZoomXMin(), 9.0);
  fed.waterfall.ResetZoom();
  EXPECT_FALSE(fed.waterfall.Zoomed());
  EXPECT_EQ(fed.waterfall.GetZoomXMax(), 512.0);
  EXPECT_EQ(fed.waterfall.GetZoomYMax(), 100.0);
}

TEST(WaterfallTest, AMouseDragZoomsAndHoldsTheLinesBack) {
  TFedWaterfall fed;
  fed.waterfall.show();
  fed.Lines(512, Values(100, 1.0));
  fed.waterfall.grab();
  Mouse(fed.waterfall, QEvent::MouseButtonPress, QPoint(100, 10));
  Move(fed.waterfall, QPoint(200, 40));
  fed.source.Send(Values(100, 9.0));
  EXPECT_EQ(fed.waterfall.ScaleMaximum(), 1.0) << "held back during the drag";
  Mouse(fed.waterfall, QEvent::MouseButtonRelease, QPoint(200, 40));
  EXPECT_TRUE(fed.waterfall.Zoomed());
  EXPECT_NEAR(fed.waterfall.GetZoomXMin(), 128, 1);
  EXPECT_NEAR(fed.waterfall.GetZoomXMax(), 256, 1);
  fed.waterfall.SetHold(false);
  EXPECT_EQ(fed.waterfall.ScaleMaximum(), 9.0) << "joined the history when the hold ended";
  // A drag shorter than 5 pixels is ignored.
  fed.waterfall.ResetZoom();
  Mouse(fed.waterfall, QEvent::MouseButtonPress, QPoint(100, 10));
  Mouse(fed.waterfall, QEvent::MouseButtonRelease, QPoint(103, 13));
  EXPECT_FALSE(fed.waterfall.Zoomed());
}

TEST(WaterfallTest, MarkerGroupsTakeTheLeastUsedDefaultColour) {
  TSLWaterfall waterfall;
  auto& groups = waterfall.MarkerGroups();
  const auto& colors = TSLWaterfallMarkerGroups::DefaultGroupColors();
  // Aqua is listed twice: its second place is taken only once every colour is used.
  std::vector<TColor> expected;
  for (TColor c : colors) {
    if (std::find(expected.begin(), expected.end(), c) == expected.end()) expected.push_back(c);
  }
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(groups.Add().PenColor(), expected[i]) << i;
  }
  EXPECT_EQ(groups.Items(0).Name(), "MarkerGroup1");
  EXPECT_EQ(groups.Items(0).BrushColor(), clWhite);
  EXPECT_EQ(groups.Add().PenColor(), colors[0]) << "all used once: white again";
  EXPECT_TRUE(waterfall.HasProperties());
}

TEST(WaterfallTest, TheSettingsDialogEditsAGroupOnlyWhenAccepted) {
  TSLWaterfall waterfall;
  waterfall.MarkerGroups().Add().SetName("Peaks");
  waterfall.MarkerGroups().Add().SetName("Dips");
  waterfall.MarkerGroups().Items(1).Markers().Add().Position().SetX(7);
  {
    TSLWaterfallPropertiesForm form(waterfall, 0, 1);
    EXPECT_EQ(form.windowTitle(), "Settings");
    EXPECT_EQ(form.CurrentGroup(), 1);
    EXPECT_EQ(form.NameEdit().text(), "Dips");
    form.NameEdit().setText("Lows");
    emit form.NameEdit().textEdited("Lows");
    form.ShapeBox().setCurrentIndex(msDiamond);
    form.SizeBox().setValue(6);
    form.SetPenColor(clYellow);
    form.reject();
  }
  EXPECT_EQ(waterfall.MarkerGroups().Items(1).Name(), "Dips") << "cancelled: unchanged";
  {
    TSLWaterfallPropertiesForm form(waterfall, 0, 1);
    form.NameEdit().setText("Lows");
    emit form.NameEdit().textEdited("Lows");
    form.ShapeBox().setCurrentIndex(msDiamond);
    form.SizeBox().setValue(6);
    form.VisibleBox().setChecked(false);
    form.BrushSolidBox().setChecked(true);
    form.LabelEdit().setText("min");
    emit form.LabelEdit().textEdited("min");
    form.SetPenColor(clYellow);
    form.SetBrushColor(clBlue);
    form.accept();
  }
  const TSLWaterfallMarkerGroup& group = waterfall.MarkerGroups().Items(1);
  EXPECT_EQ(group.Name(), "Lows");
  EXPECT_EQ(group.Shape(), msDiamond);
  EXPECT_EQ(group.Size(), 6);
  EXPECT_FALSE(group.Visible());
  EXPECT_TRUE(group.BrushSolid());
  EXPECT_EQ(group.PenColor(), clYellow);
  EXPECT_EQ(group.BrushColor(), clBlue);
  EXPECT_EQ(const_cast<TSLWaterfallMarkerGroup&>(group).Labels().Text(), "min");
  ASSERT_EQ(group.Markers().Count(), 1) << "the markers come along";
  EXPECT_EQ(group.Markers().Items(0).Position().X(), 7);
  EXPECT_EQ(waterfall.MarkerGroups().Items(0).Name(), "Peaks");

  // Placed with its top 20 pixels below the display's and its right edge 20 pixels inside.
  waterfall.move(100, 100);
  waterfall.show();
  TSLWaterfallPropertiesForm form(waterfall, 0, 0);
  form.PlaceBeside(waterfall);
  const QPoint displayTopRight = waterfall.mapToGlobal(QPoint(waterfall.width(), 0));
  EXPECT_EQ(form.frameGeometry().top(), displayTopRight.y() + 20);
  EXPECT_EQ(form.frameGeometry().right() + 1, displayTopRight.x() - 20);
}

TEST(WaterfallTest, MarkersAreDrawnAtTheirLineAndSample) {
  TFedWaterfall fed;
  fed.waterfall.XAxis().SetSamples(8);
  fed.Lines(8, Values(8, 0.0));
  auto& group = fed.waterfall.MarkerGroups().Add();
  group.SetShape(msPoint);
  group.SetPenColor(clLime);
  auto& marker = group.Markers().Add();
  marker.Position().SetX(2);
  marker.Position().SetY(4.0);
  fed.waterfall.Legend().SetVisible(false);
  const QImage shown = fed.waterfall.grab().toImage();
  // Line 2 of 8 over 400 pixels: centre at 2.5 / 8 × 400 = 125; sample 4 of 8: half height.
  EXPECT_EQ(shown.pixel(125, 28) & kRgb, PixelOfColor(clLime));
}

}  // namespace
}  // namespace tardivox

namespace tardivox {
namespace {

// A rendered waterfall for the eye: a spectrum-like chirp (a peak rising from 1 to 20 kHz over
// the history) with three bursts of noise, every band shown. Saved under the build tree.
TEST(WaterfallPictureTest, ARenderedChirpWithAxesAndLevelBar) {
  TSLWaterfall waterfall;
  waterfall.resize(640, 320);
  waterfall.ToolBar().SetVisible(false);
  waterfall.Legend().SetVisible(false);
  waterfall.YAxis().SetTicksMode(atmFrequency);
  waterfall.XAxis().AxisLabel().SetText("Lines");
  TRealSource source;
  ASSERT_TRUE(source.OutputPin.ConnectTo(&waterfall.InputPin()));
  TRef<IOWNotifyOperation> start(new TOWStartSpectrumOperation(1024, 44100.0));
  source.OutputPin.Notify(*start);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> noise(0.0, 1.0);
  Values line(1024);
  for (int j = 0; j < 512; ++j) {
    const double peak = 1024.0 * (1000.0 + 19000.0 * j / 511.0) / 22050.0;
    const bool burst = (j / 40) % 4 == 1 && j % 40 < 12;
    for (int k = 0; k < 1024; ++k) {
      const double d = (k - peak) / 12.0;
      line[static_cast<size_t>(k)] =
          100.0 * std::exp(-d * d) + 4.0 * noise(random) + (burst ? 40.0 * noise(random) : 0.0);
    }
    source.Send(line);
  }
  const QImage shown = waterfall.grab().toImage();
  const QString file = QStringLiteral(TARDIVOX_TEST_OUTPUT_DIR) + "/waterfall_chirp.png";
  ASSERT_TRUE(shown.save(file));
  EXPECT_EQ(waterfall.YAxis().CaptionText(), "kHz");
  // The peak of the newest line lies near the top right of the data area, hot; below it the
  // line is quiet.
  const TSLViewRect data = waterfall.DataView().Rect();
  const double topFraction = 1.0 - 20000.0 / 22050.0;
  const QPoint hot(data.right - 3,
                   data.top + static_cast<int>(topFraction * (data.bottom - data.top)));
  const QColor hotColor = shown.pixelColor(hot);
  const QColor quiet = shown.pixelColor(QPoint(data.right - 3, data.bottom - 5));
  EXPECT_GT(hotColor.red() + hotColor.green(), 200) << "peak " << hot.x() << "," << hot.y();
  EXPECT_LT(quiet.red() + quiet.green(), 100);
}

}  // namespace
}  // namespace tardivox
