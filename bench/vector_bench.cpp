// Throughput of the whole-array kernels against memcpy/memmove/memset or the plain loop a
// caller would otherwise write. The argument is the size in bytes of the array the kernel
// writes (4 KiB fits L1, 64 KiB L2, 4 MiB spills to memory); bytes/second refer to that array.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "vector/Vector.h"

namespace tardivox::vec {
namespace {

template <class T>
std::vector<T> Ramp(std::size_t n) {
  std::vector<T> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<T>(i % 251 + 1);
  return v;
}

void Finish(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

#define TARDIVOX_BENCH(fn) BENCHMARK(fn)->Arg(4 << 10)->Arg(64 << 10)->Arg(4 << 20)

// --- copy / move ---------------------------------------------------------------------------

template <class T>
void BM_Copy(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / sizeof(T));
  auto src = Ramp<T>(n);
  std::vector<T> dst(n);
  for (auto _ : state) {
    Copy(dst.data(), src.data(), n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
void BM_Memcpy(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  auto src = Ramp<uint8_t>(n);
  std::vector<uint8_t> dst(n);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
TARDIVOX_BENCH(BM_Copy<uint8_t>);
TARDIVOX_BENCH(BM_Copy<int32_t>);
TARDIVOX_BENCH(BM_Copy<double>);
TARDIVOX_BENCH(BM_Memcpy);

// Scrolling an image by one row: overlapping move.
void BM_MoveBytes(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  std::vector<uint8_t> area(n + 64);
  for (auto _ : state) {
    MoveBytes(area.data(), area.data() + 64, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
void BM_Memmove(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<uint8_t> area(n + 64);
  for (auto _ : state) {
    std::memmove(area.data(), area.data() + 64, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
TARDIVOX_BENCH(BM_MoveBytes);
TARDIVOX_BENCH(BM_Memmove);

// --- fill / zero ---------------------------------------------------------------------------

template <class T>
void BM_Fill(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / sizeof(T));
  std::vector<T> dst(n);
  for (auto _ : state) {
    Fill(dst.data(), T{3}, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
template <class T>
void BM_Zero(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / sizeof(T));
  std::vector<T> dst(n);
  for (auto _ : state) {
    Zero(dst.data(), n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
void BM_Memset(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<uint8_t> dst(n);
  for (auto _ : state) {
    std::memset(dst.data(), 3, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
void BM_FillSamples24(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / 3);
  std::vector<uint8_t> dst(state.range(0));
  for (auto _ : state) {
    FillSamples24(dst.data(), 0x123456, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
void BM_FillSamples24PlainLoop(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0) / 3);
  std::vector<uint8_t> dst(state.range(0));
  for (auto _ : state) {
    for (std::size_t i = 0; i < n; ++i) {
      dst[3 * i] = 0x56;
      dst[3 * i + 1] = 0x34;
      dst[3 * i + 2] = 0x12;
    }
    benchmark::ClobberMemory();
  }
  Finish(state);
}
// The waterfall's empty area: 256-pixel rows in a 1024-pixel-wide image.
void BM_FillRect32(benchmark::State& state) {
  const auto rows = static_cast<int>(state.range(0) / 1024);
  std::vector<uint32_t> image(static_cast<std::size_t>(rows) * 1024);
  for (auto _ : state) {
    FillRect32(image.data(), 4096, 256, rows, 0xFF102030u);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
TARDIVOX_BENCH(BM_Fill<uint8_t>);
TARDIVOX_BENCH(BM_Fill<int16_t>);
TARDIVOX_BENCH(BM_Fill<int32_t>);
TARDIVOX_BENCH(BM_Fill<double>);
TARDIVOX_BENCH(BM_Fill<Complex>);
TARDIVOX_BENCH(BM_Zero<double>);
TARDIVOX_BENCH(BM_Memset);
TARDIVOX_BENCH(BM_FillSamples24);
TARDIVOX_BENCH(BM_FillSamples24PlainLoop);
TARDIVOX_BENCH(BM_FillRect32);

// --- conversion and arithmetic on contiguous arrays ----------------------------------------

void BM_ConvertInt32ToDouble(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / sizeof(double));
  auto src = Ramp<int32_t>(n);
  std::vector<double> dst(n);
  for (auto _ : state) {
    Convert(dst.data(), src.data(), n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
TARDIVOX_BENCH(BM_ConvertInt32ToDouble);

enum Kind { kAdd, kMultiply, kDivide };

template <class T, Kind kKind>
void BM_Arith(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / sizeof(T));
  auto a = Ramp<T>(n);
  const auto b = Ramp<T>(n);
  for (auto _ : state) {
    if constexpr (kKind == kAdd) Add(a.data(), b.data(), n);
    if constexpr (kKind == kMultiply) Multiply(a.data(), b.data(), n);
    if constexpr (kKind == kDivide) benchmark::DoNotOptimize(Divide(a.data(), b.data(), n));
    benchmark::ClobberMemory();
  }
  Finish(state);
}
// The unsaturated loop a caller would write for doubles (no check) or integers (wrapping).
template <class T>
void BM_AddPlainLoop(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0) / sizeof(T));
  auto a = Ramp<T>(n);
  const auto b = Ramp<T>(n);
  for (auto _ : state) {
    for (std::size_t i = 0; i < n; ++i) a[i] = static_cast<T>(a[i] + b[i]);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
TARDIVOX_BENCH((BM_Arith<double, kAdd>));
TARDIVOX_BENCH((BM_Arith<double, kMultiply>));
TARDIVOX_BENCH((BM_Arith<double, kDivide>));
TARDIVOX_BENCH(BM_AddPlainLoop<double>);
TARDIVOX_BENCH((BM_Arith<Complex, kAdd>));
TARDIVOX_BENCH((BM_Arith<Complex, kMultiply>));
TARDIVOX_BENCH((BM_Arith<Complex, kDivide>));
TARDIVOX_BENCH((BM_Arith<int32_t, kAdd>));
TARDIVOX_BENCH((BM_Arith<int32_t, kMultiply>));
TARDIVOX_BENCH((BM_Arith<int32_t, kDivide>));
TARDIVOX_BENCH(BM_AddPlainLoop<int32_t>);
TARDIVOX_BENCH((BM_Arith<uint8_t, kAdd>));
TARDIVOX_BENCH((BM_Arith<uint8_t, kMultiply>));
TARDIVOX_BENCH((BM_Arith<uint8_t, kDivide>));
TARDIVOX_BENCH(BM_AddPlainLoop<uint8_t>);

// --- minimum / maximum / sweep ---------------------------------------------------------------

void BM_Minimum(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / sizeof(double));
  const auto v = Ramp<double>(n);
  for (auto _ : state) benchmark::DoNotOptimize(Minimum(v.data(), n));
  Finish(state);
}
void BM_MinElement(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0) / sizeof(double));
  const auto v = Ramp<double>(n);
  for (auto _ : state) benchmark::DoNotOptimize(*std::min_element(v.begin(), v.end()));
  Finish(state);
}
void BM_FillJaehne(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / sizeof(double));
  std::vector<double> v(n);
  for (auto _ : state) {
    FillJaehne(v.data(), n, 1.0);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
TARDIVOX_BENCH(BM_Minimum);
TARDIVOX_BENCH(BM_MinElement);
TARDIVOX_BENCH(BM_FillJaehne);

// --- strided samples (one channel of a stereo buffer; bytes = that channel's samples) --------

void BM_CopySamples16Stereo(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / 2);
  const auto src = Ramp<uint8_t>(4 * static_cast<std::size_t>(n));
  std::vector<uint8_t> dst(4 * static_cast<std::size_t>(n));
  for (auto _ : state) {
    CopySamples16(dst.data() + 2, 4, src.data(), 4, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
void BM_CopySamples16StereoPlainLoop(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0) / 2);
  const auto src = Ramp<int16_t>(2 * n);
  std::vector<int16_t> dst(2 * n);
  for (auto _ : state) {
    for (std::size_t i = 0; i < n; ++i) dst[2 * i + 1] = src[2 * i];
    benchmark::ClobberMemory();
  }
  Finish(state);
}
void BM_CopySamples24Stereo(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / 3);
  const auto src = Ramp<uint8_t>(6 * static_cast<std::size_t>(n));
  std::vector<uint8_t> dst(6 * static_cast<std::size_t>(n));
  for (auto _ : state) {
    CopySamples24(dst.data() + 3, 6, src.data(), 6, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
void BM_AddSamples16Stereo(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / 2);
  auto a = Ramp<uint8_t>(4 * static_cast<std::size_t>(n));
  const auto b = Ramp<uint8_t>(4 * static_cast<std::size_t>(n));
  for (auto _ : state) {
    AddSamples16(a.data(), 4, b.data(), 4, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
void BM_AddSamples16Contiguous(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / 2);
  auto a = Ramp<uint8_t>(2 * static_cast<std::size_t>(n));
  const auto b = Ramp<uint8_t>(2 * static_cast<std::size_t>(n));
  for (auto _ : state) {
    AddSamples16(a.data(), 2, b.data(), 2, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
void BM_ScaleSamples16(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / 2);
  auto a = Ramp<uint8_t>(2 * static_cast<std::size_t>(n));
  for (auto _ : state) {
    ScaleSamples(16, a.data(), 2, 0.999, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
template <int kSrc, int kDst>
void BM_ConvertSamples(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0) / (kDst / 8));
  const auto src = Ramp<uint8_t>(static_cast<std::size_t>(n) * (kSrc / 8));
  std::vector<uint8_t> dst(static_cast<std::size_t>(n) * (kDst / 8));
  for (auto _ : state) {
    ConvertSamples(dst.data(), kDst, kDst / 8, src.data(), kSrc, kSrc / 8, n);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
TARDIVOX_BENCH(BM_CopySamples16Stereo);
TARDIVOX_BENCH(BM_CopySamples16StereoPlainLoop);
TARDIVOX_BENCH(BM_CopySamples24Stereo);
TARDIVOX_BENCH(BM_AddSamples16Stereo);
TARDIVOX_BENCH(BM_AddSamples16Contiguous);
TARDIVOX_BENCH(BM_ScaleSamples16);
TARDIVOX_BENCH((BM_ConvertSamples<16, 24>));
TARDIVOX_BENCH((BM_ConvertSamples<24, 16>));
TARDIVOX_BENCH((BM_ConvertSamples<16, 8>));
TARDIVOX_BENCH((BM_ConvertSamples<8, 16>));
TARDIVOX_BENCH((BM_ConvertSamples<16, 32>));

}  // namespace
}  // namespace tardivox::vec

BENCHMARK_MAIN();
