// The cost of the live chain capture → delay line (2 s) → playback on the in-process wave
// service, driven as fast as it will go: each iteration fills one capture buffer, waits until
// the chain has carried it to the playback, and plays one output buffer.
//   rtf           processing time per buffer ÷ the buffer's duration (1.0 = just real time)
//   allocs/buffer system allocations (malloc, calloc, realloc) made on the capture's wave
//                 thread per buffer in the steady state (target 0)
// Run: build/release/bench/components_bench
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/AudioIn.h"
#include "audio/AudioOut.h"
#include "audio/VirtualWaveService.h"
#include "processing/DelayLine.h"

#include "CountingAllocator.h"

namespace {

using namespace tardivox;

// Counts the buffers that reach it and marks its thread (the capture's wave thread) as counted.
class TCountingSink final : public TComponent {
 public:
  TCountingSink() : TComponent(nullptr) {
    pin_ = std::make_unique<TALOWAudioSinkPin>(
        this, [this](TOWPin&, const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
          bench::tCountAllocations = true;
          if (OperationIs<TOWSuppliedBufferOperation>(op))
            buffers.fetch_add(1, std::memory_order_release);
          return false;
        });
  }
  ~TCountingSink() override { pin_.reset(); }
  TALOWAudioSinkPin& Pin() { return *pin_; }
  std::atomic<uint64_t> buffers{0};

 private:
  std::unique_ptr<TALOWAudioSinkPin> pin_;
};

void BM_ChainRealTimeFactor(benchmark::State& state) {
  const auto frames = static_cast<uint32_t>(state.range(0));
  TALVirtualWaveService service;
  IALWaveService* previous = SetCurrentWaveService(&service);
  service.AddInputDevice("Mic");
  service.AddOutputDevice("Speakers");
  {
    TALAudioIn capture(nullptr);
    TALDelayLine delay(nullptr);
    TALAudioOut playback(nullptr);
    TCountingSink sink;
    capture.AudioFormat().SetSampleRate(44100);
    capture.AudioFormat().SetBufferSize(frames);
    delay.SetDelay(88200);
    capture.OutputPin().ConnectTo(&delay.InputPin());
    delay.OutputPin().ConnectTo(&playback.InputPin());
    delay.OutputPin().ConnectTo(&sink.Pin());
    capture.SetEnabled(false);
    capture.SetEnabled(true);
    const TWaveHandle in = capture.DeviceHandle();
    const TWaveHandle out = playback.DeviceHandle();
    std::vector<uint8_t> data(frames * 4, 0x11);
    uint64_t sent = 0;
    auto step = [&] {
      service.CompleteInput(in, data.data(), data.size());
      ++sent;
      while (sink.buffers.load(std::memory_order_acquire) < sent) std::this_thread::yield();
      // Keep the device fed as a real one would drain it: one out for each one in.
      service.CompleteOutput(out);
    };
    // Warm up: the history, the pools and the lists reach their steady size.
    for (int i = 0; i < 400; ++i) step();
    service.WaitIdle();
    const uint64_t allocationsBefore = bench::gAllocations.load();
    uint64_t buffers = 0;
    for (auto _ : state) {
      step();
      ++buffers;
    }
    service.WaitIdle();
    const uint64_t allocations = bench::gAllocations.load() - allocationsBefore;
    const double bufferSeconds = frames / 44100.0;
    state.counters["rtf"] =
        benchmark::Counter(static_cast<double>(buffers) * bufferSeconds,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs/buffer"] =
        buffers ? static_cast<double>(allocations) / static_cast<double>(buffers) : 0;
    capture.SetEnabled(false);
  }
  SetCurrentWaveService(previous);
}
BENCHMARK(BM_ChainRealTimeFactor)->Arg(512)->Arg(32)->UseRealTime()->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
