// Cost of one input buffer through the delay line (source pin → TALDelayLine → sink pin),
// stereo 16-bit at 44100 Hz, for buffer sizes × delays. The history is circular, so the cost
// per buffer should not grow with the delay. "rt" is seconds of audio processed per second.
#include <benchmark/benchmark.h>

#include "buffers/AudioBuffer.h"
#include "model/Component.h"
#include "pins/AudioPins.h"
#include "processing/DelayLine.h"

using namespace tardivox;

namespace {

class TBenchSource : public TComponent {
 public:
  TBenchSource() : TComponent(nullptr) { lock.AddDependency(&OutputPin); }
  TOWObject lock;
  TALOWAudioSourcePin OutputPin{this, nullptr};
};

// Receives and drops every buffer, reading one sample so the work cannot be skipped.
class TBenchSink : public TComponent {
 public:
  TBenchSink() : TComponent(nullptr) { lock.AddDependency(&InputPin); }
  TOWObject lock;
  int64_t checksum = 0;
  TALOWAudioSinkPin InputPin{this,
                             [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
                               if (auto* s = OperationAs<TOWSuppliedBufferOperation>(op)) {
                                 checksum += s->Buffer()->ReadData()[0];
                               }
                               return false;
                             }};
};

void BM_DelayLineBuffer(benchmark::State& state) {
  const auto frames = static_cast<uint32_t>(state.range(0));
  const auto delay = static_cast<uint32_t>(state.range(1));
  TBenchSource source;
  TALDelayLine line(nullptr);
  TBenchSink sink;
  source.OutputPin.ConnectTo(&line.InputPin());
  line.OutputPin().ConnectTo(&sink.InputPin);
  line.SetDelay(delay);
  TRef<IOWNotifyOperation> start(new TOWStartWaveOperation(WaveFormat::Pcm(2, 16, 44100, 3), 1));
  source.OutputPin.Notify(*start);

  TRef<IALAudioBuffer> input(new TALAudioBuffer(44100, 16, 2, frames, 3));
  auto* samples = reinterpret_cast<int16_t*>(input->WriteData());
  for (uint32_t i = 0; i < frames * 2; ++i) samples[i] = static_cast<int16_t>(i * 37);

  for (auto _ : state) {
    source.OutputPin.SendBuffer(input);
  }
  benchmark::DoNotOptimize(sink.checksum);
  state.SetItemsProcessed(state.iterations() * frames);
  state.counters["rt"] =
      benchmark::Counter(frames / 44100.0, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_DelayLineBuffer)
    ->ArgNames({"n", "D"})
    ->ArgsProduct({{32, 512, 8192}, {0, 441, 88200, 1000000}});

}  // namespace

BENCHMARK_MAIN();
