// Cost of the lock sections on the notification path, uncontended.
#include <benchmark/benchmark.h>

#include "locks/MultiReadLock.h"
#include "locks/OWObject.h"

using namespace tardivox;

static void BM_GlobalReadSection(benchmark::State& state) {
  GlobalLock();
  for (auto _ : state) {
    TOWGlobalReadLockSection section;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_GlobalReadSection);

static void BM_NestedGlobalReadSection(benchmark::State& state) {
  TOWGlobalReadLockSection outer;
  for (auto _ : state) {
    TOWGlobalReadLockSection section;
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_NestedGlobalReadSection);

static void BM_GroupWriteSection(benchmark::State& state) {
  TOWObject holder, pin;
  holder.AddDependency(&pin);
  for (auto _ : state) {
    TOWWriteLockSection section(pin);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_GroupWriteSection);

static void BM_GroupWriteSectionAsReference(benchmark::State& state) {
  TOWObject holder;
  for (auto _ : state) {
    TRef<IOWLockSection> section = holder.WriteSection();
    benchmark::DoNotOptimize(section.get());
  }
}
BENCHMARK(BM_GroupWriteSectionAsReference);

BENCHMARK_MAIN();
