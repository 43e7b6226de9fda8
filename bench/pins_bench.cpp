// Downstream delivery through the pin framework: SendBuffer to 1 and 4 sinks and through a
// chain of 5 pass-through components (time per buffer), and the heap allocations made per
// notification (counted by replacing the global operator new).

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "buffers/RealBuffer.h"
#include "model/Component.h"
#include "pins/AudioPins.h"

namespace {
std::atomic<long> g_allocations{0};
}

// The replaced global operators below allocate with malloc and free with free; gcc cannot see
// that they are one pair once they are inlined into sized deletes.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace tardivox {
namespace {

class TSource : public TComponent {
 public:
  TSource() : TComponent(nullptr) { lock.AddDependency(&OutputPin); }
  TOWObject lock;
  TALOWAudioSourcePin OutputPin{this, nullptr};
};

class TSink : public TComponent {
 public:
  TSink() : TComponent(nullptr) { lock.AddDependency(&InputPin); }
  TOWObject lock;
  long received = 0;
  TALOWAudioSinkPin InputPin{this,
                             [this](TOWPin&, const Guid&, IOWNotifyOperation&, TOWStateFlags) {
                               ++received;
                               return false;
                             }};
};

// Forwards every operation from its input to its output (the same object).
class TPassThrough : public TComponent {
 public:
  TPassThrough() : TComponent(nullptr) {
    OutputPin.FunctionSinkPins().AddPassThrough(&InputPin, true);
    lock.AddDependency(&InputPin);
  }
  TOWObject lock;
  TALOWAudioSinkPin InputPin{this, [this](TOWPin&, const Guid&, IOWNotifyOperation& op,
                                          TOWStateFlags) { return OutputPin.Notify(op); }};
  TALOWAudioSourcePin OutputPin{this, nullptr};
};

struct TGraph {
  TSource source;
  std::vector<std::unique_ptr<TPassThrough>> chain;
  std::vector<std::unique_ptr<TSink>> sinks;

  TGraph(int sinkCount, int chainLength) {
    TALOWAudioSourcePin* tail = &source.OutputPin;
    for (int i = 0; i < chainLength; ++i) {
      chain.push_back(std::make_unique<TPassThrough>());
      chain.back()->InputPin.ConnectTo(tail);
      tail = &chain.back()->OutputPin;
    }
    for (int i = 0; i < sinkCount; ++i) {
      sinks.push_back(std::make_unique<TSink>());
      sinks.back()->InputPin.ConnectTo(tail);
    }
  }
  ~TGraph() {
    // Downstream first, so that no pin outlives what it is connected to by much.
    sinks.clear();
    while (!chain.empty()) chain.pop_back();
  }
};

void RunSendBuffer(benchmark::State& state, int sinkCount, int chainLength) {
  TGraph graph(sinkCount, chainLength);
  TRef<ISLDataBuffer> buffer(new TSLRealBuffer(512));
  const long before = g_allocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(graph.source.OutputPin.SendBuffer(buffer));
  }
  const long allocations = g_allocations.load() - before;
  state.counters["allocs_per_buffer"] = benchmark::Counter(static_cast<double>(allocations) /
                                                           static_cast<double>(state.iterations()));
  if (graph.sinks.front()->received != static_cast<long>(state.iterations())) {
    state.SkipWithError("a buffer went missing");
  }
}

void BM_SendBuffer1Sink(benchmark::State& state) {
  RunSendBuffer(state, 1, 0);
}
void BM_SendBuffer4Sinks(benchmark::State& state) {
  RunSendBuffer(state, 4, 0);
}
void BM_SendBufferChain5(benchmark::State& state) {
  RunSendBuffer(state, 1, 5);
}
BENCHMARK(BM_SendBuffer1Sink);
BENCHMARK(BM_SendBuffer4Sinks);
BENCHMARK(BM_SendBufferChain5);

// Allocations of one Notify with an operation created beforehand: the snapshot only, which is
// kept inline up to four sinks.
void BM_NotifyAllocations(benchmark::State& state) {
  TGraph graph(static_cast<int>(state.range(0)), 0);
  TRef<IOWNotifyOperation> op(new TOWSuppliedBufferOperation(new TSLRealBuffer(512)));
  const long before = g_allocations.load();
  for (auto _ : state) {
    benchmark::DoNotOptimize(graph.source.OutputPin.Notify(*op));
  }
  state.counters["allocs_per_notify"] = benchmark::Counter(
      static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_NotifyAllocations)->Arg(1)->Arg(4)->Arg(8);

}  // namespace
}  // namespace tardivox

BENCHMARK_MAIN();
