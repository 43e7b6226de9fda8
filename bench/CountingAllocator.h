#pragma once
// Counts the system allocations (malloc, calloc, realloc) made on threads that set
// tCountAllocations, for the allocations-per-buffer counters of the benchmarks. Include it in
// one source file of a benchmark program: it replaces the C allocator's entry points.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tardivox::bench {
inline thread_local bool tCountAllocations = false;
inline std::atomic<uint64_t> gAllocations{0};
}  // namespace tardivox::bench

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);

void* malloc(size_t size) {
  if (tardivox::bench::tCountAllocations)
    tardivox::bench::gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  if (tardivox::bench::tCountAllocations)
    tardivox::bench::gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
  if (tardivox::bench::tCountAllocations)
    tardivox::bench::gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, size);
}
}
