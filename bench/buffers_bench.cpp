// Buffer hot paths: creating and releasing the capture's audio buffer, copy-on-write of a
// shared buffer, and a same-width audio copy against memcpy.
//
// System allocations are counted by interposing malloc and its relatives: the steady state of
// the create+release cycle must not reach the heap ("allocs_per_cycle" must read 0).

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "buffers/AudioBuffer.h"

namespace {
std::atomic<uint64_t> gHeapCalls{0};
}  // namespace

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t bytes) noexcept {
  gHeapCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(bytes);
}
void* calloc(size_t count, size_t bytes) noexcept {
  gHeapCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, bytes);
}
void* realloc(void* old, size_t bytes) noexcept {
  gHeapCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(old, bytes);
}
void* aligned_alloc(size_t alignment, size_t bytes) noexcept {
  gHeapCalls.fetch_add(1, std::memory_order_relaxed);
  return __libc_memalign(alignment, bytes);
}
}

namespace tardivox {
namespace {

TRef<IALAudioBuffer> Stereo16(uint32_t frames) {
  return TRef<IALAudioBuffer>(new TALAudioBuffer(44100, 16, 2, frames, 3));
}

void BM_AudioBufferCreateRelease(benchmark::State& state) {
  { Stereo16(512); }  // the free lists now hold what one cycle needs
  const uint64_t before = gHeapCalls.load();
  for (auto _ : state) {
    TRef<IALAudioBuffer> buffer = Stereo16(512);
    benchmark::DoNotOptimize(buffer->ReadData());
  }
  const uint64_t calls = gHeapCalls.load() - before;
  state.counters["allocs_per_cycle"] =
      benchmark::Counter(static_cast<double>(calls) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_AudioBufferCreateRelease);

void BM_CloneModifyData(benchmark::State& state) {
  TRef<IALAudioBuffer> shared = Stereo16(512);
  shared->Clear();
  { shared->Clone()->ModifyData(); }
  const uint64_t before = gHeapCalls.load();
  for (auto _ : state) {
    TRef<ISLDataBuffer> clone = shared->Clone();
    benchmark::DoNotOptimize(clone->ModifyData());
  }
  const uint64_t calls = gHeapCalls.load() - before;
  state.counters["allocs_per_cycle"] =
      benchmark::Counter(static_cast<double>(calls) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_CloneModifyData);

constexpr uint32_t kCopyFrames = 88200;

void BM_CopyToSameWidth(benchmark::State& state) {
  TRef<IALAudioBuffer> from = Stereo16(kCopyFrames);
  TRef<IALAudioBuffer> to = Stereo16(kCopyFrames);
  from->Fill(3);
  to->Clear();
  for (auto _ : state) {
    from->CopyTo(0, to.get(), 0, kCopyFrames);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kCopyFrames * 4);
}
BENCHMARK(BM_CopyToSameWidth);

// Same frames, different masks: the channel-by-channel strided path.
void BM_CopyToSwappedChannels(benchmark::State& state) {
  TRef<IALAudioBuffer> from = Stereo16(kCopyFrames);
  TRef<IALAudioBuffer> to(new TALAudioBuffer(44100, 16, 2, kCopyFrames, 0b110));
  from->Fill(3);
  to->Clear();
  for (auto _ : state) {
    from->CopyTo(0, to.get(), 0, kCopyFrames);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kCopyFrames * 4);
}
BENCHMARK(BM_CopyToSwappedChannels);

void BM_MemcpySameBytes(benchmark::State& state) {
  TRef<IALAudioBuffer> from = Stereo16(kCopyFrames);
  TRef<IALAudioBuffer> to = Stereo16(kCopyFrames);
  from->Fill(3);
  to->Clear();
  for (auto _ : state) {
    std::memcpy(to->ModifyData(), from->ReadData(), std::size_t{kCopyFrames} * 4);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kCopyFrames * 4);
}
BENCHMARK(BM_MemcpySameBytes);

}  // namespace
}  // namespace tardivox

BENCHMARK_MAIN();
