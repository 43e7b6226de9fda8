// Costs of the waterfall history display as the program feeds it: 1024-item lines, 512 lines
// of depth, a strip of 401 × 57 pixels with every optional view hidden.
//   BM_WaterfallIntake        one line through the input pin into a full history (ns, and
//                             system allocations per line on the delivering thread)
//   BM_WaterfallPaint/N       one paint of the strip after N new lines (the tick's work)
//   BM_WaterfallFullRender    one paint that converts and averages every line again
//   BM_TwoWaterfallsRealTime  two strips fed at 43 lines/s each by a feeder thread, repainted
//                             by their 100 ms timers on the window's thread for 30 s: the
//                             window thread's CPU time in percent of one core
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <time.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "CountingAllocator.h"
#include "QtBenchMain.h"
#include "buffers/RealBuffer.h"
#include "display/Waterfall.h"
#include "locks/OWObject.h"
#include "model/Component.h"
#include "pins/NotifyOperations.h"
#include "pins/RealPins.h"

using namespace tardivox;

namespace {

constexpr int kLineLength = 1024;
constexpr int kDepth = 512;

class TBenchSource : public TComponent {
 public:
  TBenchSource() : TComponent(nullptr) { lock.AddDependency(&OutputPin); }
  TOWObject lock;
  TSLOWRealSourcePin OutputPin{
      this, [](TOWPin&, const Guid&, IOWNotifyOperation&, TOWStateFlags) { return false; }};
};

// A strip as the program holds it, fed by its own source.
struct TStrip {
  TStrip() {
    waterfall.resize(401, 57);
    for (TSLOptionalView* view :
         std::vector<TSLOptionalView*>{&waterfall.Title(), &waterfall.XAxis(), &waterfall.YAxis(),
                                       &waterfall.Legend(), &waterfall.Levels()}) {
      view->SetVisible(false);
    }
    waterfall.ToolBar().SetVisible(false);
    waterfall.Zooming().SetMouseZoom(false);
    source.OutputPin.ConnectTo(&waterfall.InputPin());
    TRef<IOWNotifyOperation> start(new TOWStartSampleRateOperation(kLineLength, 44100.0));
    source.OutputPin.Notify(*start);
    for (int i = 0; i < 8; ++i) lines.push_back(Line(i));
  }
  // A line of audio-like sums, different for each seed.
  static TRef<ISLRealBuffer> Line(int seed) {
    TRef<ISLRealBuffer> line(new TSLRealBuffer(kLineLength));
    for (int k = 0; k < kLineLength; ++k) {
      line->WriteData()[k] = 20000.0 * std::sin(0.001 * k * k + seed) * ((k + seed) % 7) / 7.0;
    }
    return line;
  }
  void Send(int n) {
    for (int i = 0; i < n; ++i) source.OutputPin.SendBuffer(lines[(next_++) % lines.size()]);
  }
  void Paint() { waterfall.render(&screen); }

  TBenchSource source;
  TSLWaterfall waterfall;
  std::vector<TRef<ISLRealBuffer>> lines;
  QImage screen{401, 57, QImage::Format_RGB32};

 private:
  size_t next_ = 0;
};

void BM_WaterfallIntake(benchmark::State& state) {
  TStrip strip;
  strip.Send(2 * kDepth);  // the history is full and its rings have their working size
  bench::gAllocations.store(0);
  bench::tCountAllocations = true;
  for (auto _ : state) strip.Send(1);
  bench::tCountAllocations = false;
  state.counters["allocations_per_line"] =
      static_cast<double>(bench::gAllocations.load()) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WaterfallIntake)->Unit(benchmark::kNanosecond);

void BM_WaterfallPaint(benchmark::State& state) {
  TStrip strip;
  strip.Send(kDepth);
  strip.Paint();
  const int newLines = static_cast<int>(state.range(0));
  int64_t converted = 0;
  for (auto _ : state) {
    state.PauseTiming();
    strip.Send(newLines);
    state.ResumeTiming();
    strip.Paint();
    converted += strip.waterfall.Image().LinesConvertedLastUpdate();
  }
  state.counters["lines_converted_per_paint"] =
      static_cast<double>(converted) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_WaterfallPaint)->Arg(0)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);

void BM_WaterfallFullRender(benchmark::State& state) {
  TStrip strip;
  strip.Send(kDepth);
  strip.Paint();
  for (auto _ : state) {
    strip.waterfall.ColorsChanged();  // the next draw converts every line again
    strip.Paint();
  }
}
BENCHMARK(BM_WaterfallFullRender)->Unit(benchmark::kMicrosecond);

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void BM_TwoWaterfallsRealTime(benchmark::State& state) {
  const double seconds = static_cast<double>(state.range(0));
  for (auto _ : state) {
    TStrip first, second;
    first.waterfall.show();
    second.waterfall.show();
    QCoreApplication::processEvents();
    std::atomic<bool> stop{false};
    std::atomic<int64_t> fed{0};
    // 44100 / 1024 lines per second for each strip.
    std::thread feeder([&] {
      const auto period = std::chrono::nanoseconds(1'000'000'000LL * kLineLength / 44100);
      auto next = std::chrono::steady_clock::now();
      while (!stop.load(std::memory_order_acquire)) {
        first.Send(1);
        second.Send(1);
        fed.fetch_add(1, std::memory_order_relaxed);
        next += period;
        std::this_thread::sleep_until(next);
      }
    });
    // The window's thread runs its event loop as the program does: it sleeps between timer
    // ticks and paints.
    int paints = 0;
    struct TPaintCounter : QObject {
      int* count;
      bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++*count;
        return false;
      }
    } counter;
    counter.count = &paints;
    first.waterfall.installEventFilter(&counter);
    second.waterfall.installEventFilter(&counter);
    const double cpuStart = ThreadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = ThreadCpuSeconds() - cpuStart;
    const double elapsed = static_cast<double>(wall.nsecsElapsed()) * 1e-9;
    stop.store(true, std::memory_order_release);
    feeder.join();
    state.counters["window_thread_cpu_percent"] = 100.0 * cpu / elapsed;
    state.counters["lines_per_second_each"] = static_cast<double>(fed.load()) / elapsed;
    state.counters["paints_per_second_each"] = paints / elapsed / 2;
    state.counters["lines_converted_each"] =
        static_cast<double>(first.waterfall.Image().LinesConverted());
  }
}
BENCHMARK(BM_TwoWaterfallsRealTime)->Arg(30)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  return tardivox::bench::RunWidgetBenchmarks(argc, argv);
}
