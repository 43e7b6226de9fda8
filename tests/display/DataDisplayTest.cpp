#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPrinter>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <stdexcept>

#include "TestDisplay.h"
#include "core/Exceptions.h"

namespace tardivox {
namespace {

using testing::TTestBand;
using testing::TTestDisplay;

const TSLViewRect kStrip{0, 0, 401, 57};

void Move(QWidget& widget, QPoint at) {
  QMouseEvent event(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&widget, &event);
}

void Press(QWidget& widget, QPoint at, QEvent::Type type = QEvent::MouseButtonPress) {
  QMouseEvent event(type, at, widget.mapToGlobal(at), Qt::LeftButton,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&widget, &event);
}

void Click(QWidget& widget, QPoint at) {
  Press(widget, at);
  Press(widget, at, QEvent::MouseButtonRelease);
}

void Leave(QWidget& widget) {
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(&widget, &event);
}

void Wheel(QWidget& widget, QPoint at, int delta) {
  QWheelEvent event(at, widget.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&widget, &event);
}

void Key(QWidget& widget, Qt::Key key, const QString& text) {
  QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(&widget, &event);
}

// The display as the screen shows it: one window paint into an image.
QImage ScreenImage(QWidget& widget) {
  return widget.grab().toImage();
}

TEST(DataDisplayTest, StartsAsAFocusableBlackDisplay) {
  TTestDisplay display;
  EXPECT_EQ(display.width(), 450);
  EXPECT_EQ(display.height(), 280);
  EXPECT_TRUE(display.TabStop());
  EXPECT_EQ(display.Color(), clBlack);
  EXPECT_TRUE(display.LayoutDirty());
  EXPECT_FALSE(display.Zoomed());
  EXPECT_FALSE(display.ZoomUndoList().NotEmpty());
  EXPECT_TRUE(display.Zooming().MouseZoom() && display.Zooming().KeyboardZoom() &&
              display.Zooming().MouseWheelEnabled() && display.Zooming().HoldOnZoom());
  EXPECT_EQ(display.GetPrintTitle(), "Unknown");
  display.SetTabStop(false);
  EXPECT_FALSE(display.TabStop());
}

TEST(DataDisplayTest, AllOptionalViewsHiddenGiveTheDataViewTheWholeClientArea) {
  TTestDisplay display;
  display.AddStandardViews();
  display.HideOptionalViews();
  display.resize(401, 57);
  display.LayoutViews();
  EXPECT_EQ(display.data->Rect(), kStrip);
  EXPECT_EQ(display.data->GetWidth(), 400);
  EXPECT_EQ(display.data->GetHeight(), 56);
  EXPECT_EQ(display.title->Rect(), kStrip) << "a hidden view keeps the rectangle it was given";
  EXPECT_FALSE(display.title->IsShowing());

  // What the screen shows: every pixel is the data view's.
  const QImage image = ScreenImage(display);
  ASSERT_EQ(image.size(), QSize(401, 57));
  for (QPoint p : {QPoint(0, 0), QPoint(400, 0), QPoint(0, 56), QPoint(400, 56), QPoint(200, 28)}) {
    EXPECT_EQ(image.pixelColor(p), display.data->fill) << p.x() << "," << p.y();
  }
}

TEST(DataDisplayTest, AnEmptyVisibleLegendTakesNoWidth) {
  TTestDisplay display;
  display.AddStandardViews();
  display.HideOptionalViews();
  display.legend->SetVisible(true);
  TOWExtCollectionOf<TSLOptionalDisplayCollectionItem> markers(nullptr);
  display.legend->AddGroup("Marker Groups", &markers);
  display.resize(401, 57);
  display.LayoutViews();
  EXPECT_EQ(display.data->Rect(), kStrip);

  markers.Add().SetName("First");
  display.LayoutViews();
  EXPECT_LT(display.data->Rect().right, 401) << "a group with an item takes room";
  EXPECT_EQ(display.legend->Rect().right, 401);
  EXPECT_EQ(display.legend->Rect().left, display.data->Rect().right);
}

TEST(DataDisplayTest, DockedBandsAndMarginsShapeTheFillView) {
  struct Case {
    const char* what;
    std::vector<std::tuple<TSLDockKind, int, int, int>> bandsBefore;  // dock, size, margins
    TSLViewRect expected;
  };
  const std::vector<Case> cases = {
      {"a left band with a top margin of 8 narrows the top to 8",
       {{TSLDockKind::Left, 30, 8, 0}},
       {30, 8, 401, 57}},
      {"a top band bigger than the margin wins",
       {{TSLDockKind::Top, 12, 0, 0}, {TSLDockKind::Left, 30, 8, 5}},
       {30, 12, 401, 52}},
      {"bottom and right bands; a bottom band's margins act on left and right",
       {{TSLDockKind::Bottom, 20, 40, 7}, {TSLDockKind::Right, 25, 0, 0}},
       {40, 0, 376, 37}},
  };
  for (const auto& c : cases) {
    TTestDisplay display;
    for (const auto& [dock, size, before, after] : c.bandsBefore) {
      display.Views().Add(std::make_unique<TTestBand>(display, dock, size, before, after));
    }
    display.AddDataView();
    display.resize(401, 57);
    display.LayoutViews();
    EXPECT_EQ(display.data->Rect(), c.expected) << c.what;
  }
}

TEST(DataDisplayTest, ViewsAfterTheFillViewLayOutInTheRectangleBeforeIt) {
  TTestDisplay display;
  auto& top = display.Views().Add(std::make_unique<TTestBand>(display, TSLDockKind::Top, 10));
  display.AddDataView();
  auto& right = display.Views().Add(std::make_unique<TTestBand>(display, TSLDockKind::Right, 20));
  display.resize(401, 57);
  display.LayoutViews();
  EXPECT_EQ(top.Rect(), (TSLViewRect{0, 0, 401, 10}));
  EXPECT_EQ(display.data->Rect(), (TSLViewRect{0, 10, 401, 57}))
      << "a band after the fill view does not narrow it";
  EXPECT_EQ(right.Rect(), (TSLViewRect{381, 10, 401, 57}));
}

TEST(DataDisplayTest, LayoutHappensOnlyWhenMarkedDirty) {
  TTestDisplay display;
  display.AddStandardViews();
  display.resize(401, 57);
  ScreenImage(display);
  const int after = display.LayoutCount();
  EXPECT_GE(after, 1);
  ScreenImage(display);
  ScreenImage(display);
  EXPECT_EQ(display.LayoutCount(), after) << "clean layout: no layout work";
  display.title->SetVisible(false);
  EXPECT_TRUE(display.LayoutDirty());
  ScreenImage(display);
  EXPECT_EQ(display.LayoutCount(), after + 1);
  display.resize(300, 57);
  ScreenImage(display);
  EXPECT_EQ(display.LayoutCount(), after + 2) << "a change of size relayouts";
  display.title->SetVisible(false);
  ScreenImage(display);
  EXPECT_EQ(display.LayoutCount(), after + 2) << "setting the same value changes nothing";
}

TEST(DataDisplayTest, WheelOverTheDataViewZoomsAboutThePointer) {
  TTestDisplay display;
  display.AddStandardViews();
  display.title->SetVisible(false);
  display.resize(401, 200);
  display.LayoutViews();
  const QPoint inData(display.data->GetLeft() + 20, display.data->GetTop() + 20);
  Wheel(display, inData, -120);
  Wheel(display, inData, 120);
  ASSERT_EQ(display.wheelZooms.size(), 2u);
  EXPECT_DOUBLE_EQ(display.wheelZooms[0].a, 1.1) << "wheel down zooms out";
  EXPECT_DOUBLE_EQ(display.wheelZooms[0].b, 1.1);
  EXPECT_DOUBLE_EQ(display.wheelZooms[1].a, 0.9) << "wheel up zooms in";
  EXPECT_EQ(display.wheelPointer, inData);

  Wheel(display, QPoint(display.yAxis->GetLeft() + 2, inData.y()), -120);
  EXPECT_EQ(display.wheelZooms.size(), 2u) << "not over the data view";
  display.Zooming().SetMouseWheelEnabled(false);
  Wheel(display, inData, -120);
  EXPECT_EQ(display.wheelZooms.size(), 2u) << "wheel zoom switched off";
}

TEST(DataDisplayTest, PlusAndMinusZoomOnlyWithKeyboardZoom) {
  TTestDisplay display;
  display.AddDataView();
  Key(display, Qt::Key_Plus, QStringLiteral("+"));
  Key(display, Qt::Key_Minus, QStringLiteral("-"));
  ASSERT_EQ(display.factorZooms.size(), 2u);
  EXPECT_DOUBLE_EQ(display.factorZooms[0].a, 0.5);
  EXPECT_DOUBLE_EQ(display.factorZooms[0].b, 0.5);
  EXPECT_DOUBLE_EQ(display.factorZooms[1].a, 2.0);
  display.Zooming().SetKeyboardZoom(false);
  Key(display, Qt::Key_Plus, QStringLiteral("+"));
  EXPECT_EQ(display.factorZooms.size(), 2u);
}

TEST(DataDisplayTest, MouseLeftRunsExactlyOncePerLeave) {
  TTestDisplay display;
  display.AddDataView();
  display.resize(401, 57);
  display.LayoutViews();
  Leave(display);
  EXPECT_EQ(display.mouseLeftCount, 0) << "no leave without a stay";
  Move(display, QPoint(10, 10));
  Move(display, QPoint(12, 11));
  EXPECT_TRUE(display.PointerInside());
  EXPECT_TRUE(display.data->Hovering());
  Leave(display);
  Leave(display);
  EXPECT_EQ(display.mouseLeftCount, 1);
  EXPECT_EQ(display.data->leftViewCount, 1) << "the hovering view is told once";
  EXPECT_FALSE(display.PointerInside());
  Move(display, QPoint(30, 30));
  display.hide();
  Leave(display);
  EXPECT_EQ(display.mouseLeftCount, 2);
}

TEST(DataDisplayTest, ZoomHistoryUndoRedoAndNoticeCodes) {
  TTestDisplay display;
  display.AddDataView();
  std::vector<std::pair<int, TSLRealRanges>> notices;
  display.SetOnZoomChanged([&](TSLDataDisplay& sender, int code, const TSLRealRanges& values) {
    EXPECT_EQ(&sender, &display);
    notices.push_back({code, values});
  });
  const TSLRealRanges a{10, 20, 100, 200};
  const TSLRealRanges b{30, 40, 60, 80};
  display.ZoomToRange(a[0], a[1], a[2], a[3]);
  display.ZoomToRange(b[0], b[1], b[2], b[3]);
  EXPECT_EQ(display.ZoomUndoList().Count(), 2);
  display.ZoomUndo();
  display.ZoomUndo();
  display.ZoomUndo();  // nothing left: no notice
  EXPECT_FALSE(display.Zoomed());
  EXPECT_EQ(display.ZoomRedoList().Count(), 2);
  display.ZoomRedo();
  EXPECT_TRUE(display.Zoomed());
  display.ResetZoom();
  EXPECT_FALSE(display.ZoomRedoList().NotEmpty()) << "a new step clears the redo list";

  const std::vector<std::pair<int, TSLRealRanges>> expected = {
      {zoRange, a}, {zoRange, b},
      {zoUndo, a},  {zoUndo, TTestDisplay::kUnzoomed},
      {zoRedo, a},  {zoReset, TTestDisplay::kUnzoomed}};
  EXPECT_EQ(notices, expected);
  EXPECT_TRUE(display.LayoutDirty()) << "every zoom step relayouts";

  // A burst of wheel steps is one history entry.
  display.ClearZoomHistory();
  display.PushZoom(true);
  display.PushZoom(true);
  EXPECT_EQ(display.ZoomUndoList().Count(), 1);
  display.PushZoom(false);
  display.PushZoom(true);
  EXPECT_EQ(display.ZoomUndoList().Count(), 3);
  display.ClearZoomHistory();
  EXPECT_FALSE(display.ZoomUndoList().NotEmpty());
}

TEST(DataDisplayTest, ToolBarShowsWhilePointerInsideAndRunsItsButtons) {
  TTestDisplay display;
  display.AddDataView();
  display.resize(401, 100);
  QImage image = ScreenImage(display);
  const QPoint pauseAt(display.data->GetLeft() + 4 + 10, display.data->GetTop() + 4 + 10);
  EXPECT_EQ(image.pixelColor(pauseAt.x() - 9, pauseAt.y()), display.data->fill)
      << "auto-hidden while the pointer is away";

  Move(display, pauseAt);
  image = ScreenImage(display);
  // Pointer over the pause button: its border in MouseOverBorderColor.
  EXPECT_EQ(image.pixelColor(pauseAt.x() - 10, pauseAt.y()),
            ToQColor(display.ToolBar().MouseOverBorderColor()));
  EXPECT_EQ(image.pixelColor(pauseAt.x() + 22 - 10, pauseAt.y()),
            ToQColor(display.ToolBar().BorderColor()))
      << "the next button is drawn normally";

  Click(display, pauseAt);
  EXPECT_TRUE(display.Hold());
  display.ZoomToRange(1, 2, 3, 4);
  ScreenImage(display);
  EXPECT_TRUE(display.ToolBar().Button(TSLToolButtonKind::Run).visible) << "run replaces pause";
  EXPECT_FALSE(display.ToolBar().Button(TSLToolButtonKind::Pause).visible);
  EXPECT_TRUE(display.ToolBar().Button(TSLToolButtonKind::Undo).enabled);
  EXPECT_FALSE(display.ToolBar().Button(TSLToolButtonKind::Redo).enabled);
  EXPECT_TRUE(display.ToolBar().Button(TSLToolButtonKind::Unzoom).enabled);

  const auto centreOf = [&](TSLToolButtonKind kind) {
    return display.ToolBar().Button(kind).rect.center();
  };
  Click(display, centreOf(TSLToolButtonKind::Undo));
  EXPECT_FALSE(display.Zoomed());
  ScreenImage(display);
  Click(display, centreOf(TSLToolButtonKind::Undo));  // disabled now: nothing happens
  EXPECT_EQ(display.ZoomRedoList().Count(), 1);
  Click(display, centreOf(TSLToolButtonKind::ZoomIn));
  ASSERT_EQ(display.factorZooms.size(), 1u);
  EXPECT_DOUBLE_EQ(display.factorZooms[0].a, 0.5);
  Click(display, centreOf(TSLToolButtonKind::Properties));
  EXPECT_EQ(display.shown.size(), 1u);
  Click(display, centreOf(TSLToolButtonKind::Run));
  EXPECT_FALSE(display.Hold());

  display.ToolBar().SetVisible(false);
  Move(display, pauseAt);
  image = ScreenImage(display);
  EXPECT_EQ(image.pixelColor(pauseAt.x() - 10, pauseAt.y()), display.data->fill);
}

TEST(DataDisplayTest, ToolBarGlyphsAreRecolouredPerState) {
  TTestDisplay display;
  auto& bar = display.ToolBar();
  const QImage& strip = TSLDisplayToolBar::GlyphStrip();
  EXPECT_EQ(strip.width(), TSLDisplayToolBar::kGlyphSize * kToolButtonCount);
  // Every glyph is drawn and no two are alike.
  for (int i = 0; i < kToolButtonCount; ++i) {
    const QImage glyph = strip.copy(i * 16, 0, 16, 16);
    int ink = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) ink += qAlpha(glyph.pixel(x, y)) > 128;  // solid ink, not blur
    EXPECT_GT(ink, 8) << "glyph " << i;
    for (int j = 0; j < i; ++j) EXPECT_NE(glyph, strip.copy(j * 16, 0, 16, 16)) << i << " " << j;
  }
  using S = TSLDisplayToolBar::State;
  const QImage normal = bar.ButtonImage(TSLToolButtonKind::Copy, S::Normal);
  EXPECT_EQ(normal.pixelColor(0, 0), ToQColor(bar.BorderColor()));
  EXPECT_EQ(normal.pixelColor(1, 1), ToQColor(bar.ButtonColor()));
  EXPECT_EQ(bar.ButtonImage(TSLToolButtonKind::Copy, S::Down).pixelColor(1, 1),
            ToQColor(bar.MouseDownButtonColor()));
  EXPECT_EQ(bar.ButtonImage(TSLToolButtonKind::Copy, S::Disabled).pixelColor(0, 0),
            ToQColor(bar.DisabledColor()));
  bar.SetButtonColor(clBlue);
  EXPECT_EQ(bar.ButtonImage(TSLToolButtonKind::Copy, S::Normal).pixelColor(1, 1), ToQColor(clBlue))
      << "a colour change rebuilds the images";
}

TEST(DataDisplayTest, CopySaveAndPrint) {
  TTestDisplay display;
  display.AddStandardViews();
  display.resize(401, 120);
  const QString dir = QStringLiteral(TARDIVOX_TEST_OUTPUT_DIR);

  display.CopyToClipboard();
  const QImage copied = QApplication::clipboard()->image();
  EXPECT_EQ(copied.size(), QSize(401, 120)) << "the clipboard holds the whole display";

  for (const char* name : {"display-save.bmp", "display-save.JPG", "display-save.jpeg"}) {
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    QFile::remove(path);
    display.SaveToFile(path);
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray expected = QString::fromLatin1(name).endsWith(QLatin1String("bmp"))
                                    ? QByteArray("bmp")
                                    : QByteArray("jpeg");
    EXPECT_EQ(reader.format(), expected) << name;
    EXPECT_EQ(reader.size(), QSize(401, 120)) << name;
  }
  EXPECT_THROW(display.SaveToFile(dir + QStringLiteral("/no-such-dir/x.bmp")), Exception);

  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const QString pdf = dir + QStringLiteral("/display-print.pdf");
  QFile::remove(pdf);
  printer.setOutputFileName(pdf);
  display.PrintTo(printer);
  EXPECT_FALSE(display.Printing());
  EXPECT_TRUE(display.LayoutDirty());
  EXPECT_FALSE(display.Hold()) << "the hold comes back to what it was";
  EXPECT_GT(QFile(pdf).size(), 1000);
  EXPECT_EQ(display.Width(), 401) << "the screen size again";
}

// A data view that fails while the page is drawn.
class TFailingView : public testing::TTestDataView {
 public:
  using TTestDataView::TTestDataView;
  void Draw(QPainter& canvas, const TSLDrawContext& context) override {
    pageSize = QSize(Owner().Width(), Owner().Height());
    if (context.printing && fail) throw std::runtime_error("no ink");
    TTestDataView::Draw(canvas, context);
  }
  bool fail = true;
  QSize pageSize;
};

TEST(DataDisplayTest, PrintingReportsThePageSizeAndCleansUpAfterAnError) {
  TTestDisplay display;
  display.data = &display.Views().Add(std::make_unique<TFailingView>(display));
  auto* view = static_cast<TFailingView*>(display.data);
  display.resize(401, 57);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QStringLiteral(TARDIVOX_TEST_OUTPUT_DIR "/display-fail.pdf"));
  EXPECT_THROW(display.PrintTo(printer), std::runtime_error);
  EXPECT_FALSE(display.Printing());
  EXPECT_TRUE(display.LayoutDirty());
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  EXPECT_EQ(view->pageSize.width(), page.width() * display.logicalDpiX() / printer.resolution())
      << "while printing the display reports the page in screen pixels";
  EXPECT_GT(view->pageSize.height(), 57);
  view->fail = false;
  ScreenImage(display);
  EXPECT_EQ(view->pageSize, QSize(401, 57)) << "the window paints at its own size again";
}

}  // namespace
}  // namespace tardivox
