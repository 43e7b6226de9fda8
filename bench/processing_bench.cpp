// Cost of one input buffer through the delay line (source pin → TALDelayLine → sink pin),
// stereo 16-bit at 44100 Hz, for buffer sizes × delays. The history is circular, so the cost
// per buffer should not grow with the delay. "rt" is seconds of audio processed per second.
//
// Cost of one buffer through the monitoring branch (source pin → TALAudioToReal → TSLAdd →
// real sink pin), stereo 16-bit at 44100 Hz: each buffer is split into two channels, queued
// at the adder and summed into blocks of 1024. "allocs/buffer" counts the system allocations
// made on the delivering thread per buffer in the steady state (target 0).
// Run: build/release/bench/processing_bench
#include <benchmark/benchmark.h>

#include "buffers/AudioBuffer.h"
#include "model/Component.h"
#include "pins/AudioPins.h"
#include "processing/Add.h"
#include "processing/AudioToReal.h"
#include "processing/DelayLine.h"

#include "CountingAllocator.h"

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

// Drops every block, reading one item so the work cannot be skipped.
class TBenchRealSink : public TComponent {
 public:
  TBenchRealSink() : TComponent(nullptr) { lock.AddDependency(&InputPin); }
  TOWObject lock;
  double checksum = 0;
  uint64_t blocks = 0;
  TSLOWRealSinkPin InputPin{this,
                            [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
                              if (auto* s = OperationAs<TOWSuppliedBufferOperation>(op)) {
                                auto* real = dynamic_cast<ISLRealBuffer*>(s->Buffer().get());
                                checksum += real->ReadData()[0];
                                ++blocks;
                              }
                              return false;
                            }};
};

void BM_SplitterAdderBuffer(benchmark::State& state) {
  const auto frames = static_cast<uint32_t>(state.range(0));
  TBenchSource source;
  TALAudioToReal splitter(nullptr);
  TSLAdd adder(nullptr);
  TBenchRealSink sink;
  source.OutputPin.ConnectTo(&splitter.InputPin());
  for (int i = 0; i < 2; ++i) splitter.OutputPins().Items(i)->ConnectTo(adder.InputPins().Items(i));
  adder.OutputPin().ConnectTo(&sink.InputPin);
  TRef<IOWNotifyOperation> start(new TOWStartWaveOperation(WaveFormat::Pcm(2, 16, 44100, 3), 1));
  source.OutputPin.Notify(*start);

  TRef<IALAudioBuffer> input(new TALAudioBuffer(44100, 16, 2, frames, 3));
  auto* samples = reinterpret_cast<int16_t*>(input->WriteData());
  for (uint32_t i = 0; i < frames * 2; ++i) samples[i] = static_cast<int16_t>(i * 37);

  // Warm up: the block store's pools and the queues' rings reach their steady size.
  for (int i = 0; i < 200; ++i) source.OutputPin.SendBuffer(input);
  const uint64_t before = bench::gAllocations.load();
  uint64_t buffers = 0;
  bench::tCountAllocations = true;
  for (auto _ : state) {
    source.OutputPin.SendBuffer(input);
    ++buffers;
  }
  bench::tCountAllocations = false;
  const uint64_t allocations = bench::gAllocations.load() - before;
  benchmark::DoNotOptimize(sink.checksum);
  state.SetItemsProcessed(state.iterations() * frames);
  state.counters["rt"] =
      benchmark::Counter(frames / 44100.0, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["allocs/buffer"] =
      buffers ? static_cast<double>(allocations) / static_cast<double>(buffers) : 0;
  state.counters["blocks/buffer"] =
      buffers ? static_cast<double>(sink.blocks) / static_cast<double>(buffers + 200) : 0;
}

BENCHMARK(BM_SplitterAdderBuffer)->ArgName("n")->Arg(32)->Arg(512)->Arg(8192);

}  // namespace

BENCHMARK_MAIN();
