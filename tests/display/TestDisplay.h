#pragma once
// A display for the frame's tests: a fill view that paints a known colour, optional title,
// axes, legend and level views, and zoom operations that record what they were asked.

#include <QColor>
#include <QPoint>

#include <memory>
#include <vector>

#include "display/DataDisplay.h"
#include "display/DisplayAxis.h"
#include "display/DisplayLegend.h"
#include "display/DisplayTitle.h"
#include "display/LevelView.h"

namespace tardivox::testing {

// The data area: fills its rectangle with a colour and reports the level 0 … 1 of a pixel
// (its height fraction).
class TTestDataView : public TSLDisplayView {
 public:
  using TSLDisplayView::TSLDisplayView;
  void GetSize(int& width, int& height) override { width = height = -1; }
  TSLDockKind GetDockKind() override { return TSLDockKind::Fill; }
  void Draw(QPainter& canvas, const TSLDrawContext&) override {
    canvas.fillRect(Rect().ToQRect(), fill);
  }
  void MouseLeftView() override { ++leftViewCount; }
  QColor fill{40, 40, 40};
  int leftViewCount = 0;
};

// A band of a fixed size and dock kind with given margins.
class TTestBand : public TSLOptionalView {
 public:
  TTestBand(TSLDataDisplay& owner, TSLDockKind dock, int size, int marginBefore = 0,
            int marginAfter = 0)
      : TSLOptionalView(owner),
        dock_(dock),
        size_(size),
        before_(marginBefore),
        after_(marginAfter) {}
  void GetSize(int& width, int& height) override {
    width = height = -1;
    (dock_ == TSLDockKind::Left || dock_ == TSLDockKind::Right ? width : height) = size_;
  }
  int GetMarginBefore() override { return before_; }
  int GetMarginAfter() override { return after_; }
  TSLDockKind GetDockKind() override { return dock_; }

 private:
  TSLDockKind dock_;
  int size_, before_, after_;
};

class TTestDisplay : public TSLDataDisplay {
 public:
  struct Call {
    double a, b;
  };

  TTestDisplay() = default;

  // Title, X axis, Y axis, legend, levels, data view: the order a history display uses.
  void AddStandardViews() {
    title = &Views().Add(std::make_unique<TSLDisplayTitle>(*this, "Waterfall"));
    xAxis = &Views().Add(std::make_unique<TSLDisplayXAxis>(*this));
    yAxis = &Views().Add(std::make_unique<TSLDisplayYAxis>(*this));
    legend = &Views().Add(std::make_unique<TSLLegendView>(*this));
    levels = &Views().Add(std::make_unique<TSLDisplayLevelView>(
        *this, [](int, int) { return 250.0; }, [this] { return scaleMax; },
        [this] { return scaleMin; }));
    data = &Views().Add(std::make_unique<TTestDataView>(*this));
  }
  void AddDataView() { data = &Views().Add(std::make_unique<TTestDataView>(*this)); }
  void HideOptionalViews() {
    for (TSLOptionalView* view :
         std::initializer_list<TSLOptionalView*>{title, xAxis, yAxis, legend, levels}) {
      if (view) view->SetVisible(false);
    }
  }

  TSLDisplayView* GetDataView() const override { return data; }
  double GetZoomXMin() const override { return range[0]; }
  double GetZoomYMin() const override { return range[1]; }
  double GetZoomXMax() const override { return range[2]; }
  double GetZoomYMax() const override { return range[3]; }
  void ZoomTo(double xMin, double yMin, double xMax, double yMax) override {
    range = {xMin, yMin, xMax, yMax};
    SetZoomed(true);
  }
  void Unzoom() override {
    range = kUnzoomed;
    SetZoomed(false);
  }
  void WheelZoom(QPoint pointer, double factorX, double factorY) override {
    wheelPointer = pointer;
    wheelZooms.push_back({factorX, factorY});
  }
  void ZoomByFactors(bool, double factorY, double factorX) override {
    factorZooms.push_back({factorX, factorY});
  }
  void ColorsChanged() override {
    ++colorsChangedCount;
    TSLDataDisplay::ColorsChanged();
  }
  void MouseLeft() override {
    ++mouseLeftCount;
    TSLDataDisplay::MouseLeft();
  }
  void ShowProperties(int page, int item) override {
    shown.push_back({double(page), double(item)});
  }
  bool HasProperties() const override { return true; }

  static constexpr TSLRealRanges kUnzoomed{0, 0, 512, 500};
  TSLRealRanges range = kUnzoomed;
  std::vector<Call> wheelZooms, factorZooms, shown;
  QPoint wheelPointer;
  int mouseLeftCount = 0;
  int colorsChangedCount = 0;
  double scaleMin = 0, scaleMax = 1000;

  TSLDisplayTitle* title = nullptr;
  TSLDisplayXAxis* xAxis = nullptr;
  TSLDisplayYAxis* yAxis = nullptr;
  TSLLegendView* legend = nullptr;
  TSLDisplayLevelView* levels = nullptr;
  TTestDataView* data = nullptr;
};

}  // namespace tardivox::testing
