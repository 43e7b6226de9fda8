// Cost of one window paint of a display (composed off-screen, copied once) at the size of the
// program's history strips, with every optional view hidden and with every view shown, and
// the layout work a paint does when the layout is clean (expected: none). Also the colour
// function per pixel, as a history image converts its lines.
#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "QtBenchMain.h"
#include "display/DataDisplay.h"
#include "display/DisplayAxis.h"
#include "display/DisplayLegend.h"
#include "display/DisplayTitle.h"
#include "display/LevelView.h"

using namespace tardivox;

namespace {

class TBenchDataView : public TSLDisplayView {
 public:
  using TSLDisplayView::TSLDisplayView;
  void GetSize(int& width, int& height) override { width = height = -1; }
  TSLDockKind GetDockKind() override { return TSLDockKind::Fill; }
  void Draw(QPainter& canvas, const TSLDrawContext&) override {
    canvas.fillRect(Rect().ToQRect(), QColor(40, 40, 40));
  }
};

class TBenchDisplay : public TSLDataDisplay {
 public:
  explicit TBenchDisplay(bool shown) {
    auto& title = Views().Add(std::make_unique<TSLDisplayTitle>(*this, "Waterfall"));
    auto& xAxis = Views().Add(std::make_unique<TSLDisplayXAxis>(*this));
    auto& yAxis = Views().Add(std::make_unique<TSLDisplayYAxis>(*this));
    auto& legend = Views().Add(std::make_unique<TSLLegendView>(*this));
    auto& levels = Views().Add(std::make_unique<TSLDisplayLevelView>(
        *this, [](int, int) { return 0.0; }, [] { return 1000.0; }, [] { return 0.0; }));
    data_ = &Views().Add(std::make_unique<TBenchDataView>(*this));
    markers_.Add().SetName("Peaks");
    legend.AddGroup("Marker Groups", &markers_);
    yAxis.SetDataRange(0, 500);
    for (TSLOptionalView* view :
         std::vector<TSLOptionalView*>{&title, &xAxis, &yAxis, &legend, &levels}) {
      view->SetVisible(shown);
    }
    ToolBar().SetVisible(false);
    resize(401, 57);
  }
  TSLDisplayView* GetDataView() const override { return data_; }
  double GetZoomXMin() const override { return 0; }
  double GetZoomXMax() const override { return 512; }
  double GetZoomYMin() const override { return 0; }
  double GetZoomYMax() const override { return 500; }
  void ZoomTo(double, double, double, double) override {}
  void Unzoom() override {}
  void WheelZoom(QPoint, double, double) override {}
  void ZoomByFactors(bool, double, double) override {}

 private:
  TSLDisplayView* data_ = nullptr;
  TOWExtCollectionOf<TSLOptionalDisplayCollectionItem> markers_{nullptr};
};

void PaintDisplay(benchmark::State& state, bool shown) {
  TBenchDisplay display(shown);
  QImage screen(401, 57, QImage::Format_RGB32);
  display.render(&screen);  // the first paint lays out
  const int layoutsBefore = display.LayoutCount();
  for (auto _ : state) {
    display.render(&screen);
    benchmark::ClobberMemory();
  }
  state.counters["layouts_per_paint"] = static_cast<double>(display.LayoutCount() - layoutsBefore) /
                                        static_cast<double>(state.iterations());
}

void BM_PaintAllViewsHidden(benchmark::State& state) {
  PaintDisplay(state, false);
}
BENCHMARK(BM_PaintAllViewsHidden)->Unit(benchmark::kMicrosecond);

void BM_PaintAllViewsShown(benchmark::State& state) {
  PaintDisplay(state, true);
}
BENCHMARK(BM_PaintAllViewsShown)->Unit(benchmark::kMicrosecond);

// A dirty layout on every paint, for comparison with the clean-layout paints above.
void BM_PaintAllViewsShownRelayout(benchmark::State& state) {
  TBenchDisplay display(true);
  QImage screen(401, 57, QImage::Format_RGB32);
  for (auto _ : state) {
    display.LayoutChanged();
    display.render(&screen);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PaintAllViewsShownRelayout)->Unit(benchmark::kMicrosecond);

// One 512-sample line converted to pixels with the default palette.
void BM_LevelPixelLine(benchmark::State& state) {
  std::vector<double> samples(512);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<double>(i * 7 % 1000);
  std::vector<uint32_t> pixels(samples.size());
  for (auto _ : state) {
    for (size_t i = 0; i < samples.size(); ++i) {
      pixels[i] = LevelPixelOf(samples[i], 1000.0, false, {});
    }
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(samples.size()));
}
BENCHMARK(BM_LevelPixelLine);

}  // namespace

int main(int argc, char** argv) {
  return tardivox::bench::RunWidgetBenchmarks(argc, argv);
}
