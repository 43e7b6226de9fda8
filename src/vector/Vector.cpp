// Contiguous-array kernels. The loops are kept branch-light and free of aliasing assumptions
// (inOut may equal other) so that the compiler vectorises them with a runtime overlap check.

#include "vector/Vector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace tardivox::vec {

namespace {

// Sizes are computed in size_t so that count * sizeof(T) cannot overflow an int.
template <class T>
std::size_t BytesOf(int count) {
  return static_cast<std::size_t>(count) * sizeof(T);
}

// A std::complex array may be addressed as an array of doubles (real, imaginary, ...); the
// additive operations then become plain double loops over twice the count.
double* AsDoubles(Complex* p) {
  return reinterpret_cast<double*>(p);
}
const double* AsDoubles(const Complex* p) {
  return reinterpret_cast<const double*>(p);
}

template <class T>
void FillLoop(T* dst, T value, int count) {
  for (int i = 0; i < count; ++i) dst[i] = value;
}

int32_t SaturateInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

template <bool kMinimum>
double Extreme(const double* src, int count) {
  if (count <= 0) return 0.0;
  constexpr double kStart =
      kMinimum ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
  // Four independent accumulators break the dependency chain; the comparison form
  // `x < m ? x : m` skips NaN items because every comparison with NaN is false.
  double m[4] = {kStart, kStart, kStart, kStart};
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    for (int k = 0; k < 4; ++k) {
      const double x = src[i + k];
      if constexpr (kMinimum) {
        m[k] = x < m[k] ? x : m[k];
      } else {
        m[k] = x > m[k] ? x : m[k];
      }
    }
  }
  for (; i < count; ++i) {
    const double x = src[i];
    if constexpr (kMinimum) {
      m[0] = x < m[0] ? x : m[0];
    } else {
      m[0] = x > m[0] ? x : m[0];
    }
  }
  double result = m[0];
  for (int k = 1; k < 4; ++k) {
    if constexpr (kMinimum) {
      result = m[k] < result ? m[k] : result;
    } else {
      result = m[k] > result ? m[k] : result;
    }
  }
  if (result == kStart) {
    // Either an item really is the starting infinity, or every item was NaN.
    for (int j = 0; j < count; ++j) {
      if (!std::isnan(src[j])) return result;
    }
    return std::numeric_limits<double>::quiet_NaN();
  }
  return result;
}

}  // namespace

// --- Copy and move -----------------------------------------------------------------------

void Copy(uint8_t* dst, const uint8_t* src, int count) {
  if (count > 0) std::memmove(dst, src, BytesOf<uint8_t>(count));
}
void Copy(int32_t* dst, const int32_t* src, int count) {
  if (count > 0) std::memmove(dst, src, BytesOf<int32_t>(count));
}
void Copy(double* dst, const double* src, int count) {
  if (count > 0) std::memmove(dst, src, BytesOf<double>(count));
}

void MoveBytes(void* dst, const void* src, int byteCount) {
  if (byteCount > 0) std::memmove(dst, src, static_cast<std::size_t>(byteCount));
}

// --- Fill and zero -----------------------------------------------------------------------

void Fill(uint8_t* dst, uint8_t value, int count) {
  if (count > 0) std::memset(dst, value, BytesOf<uint8_t>(count));
}
void Fill(int16_t* dst, int16_t value, int count) {
  FillLoop(dst, value, count);
}
void Fill(int32_t* dst, int32_t value, int count) {
  FillLoop(dst, value, count);
}
void Fill(double* dst, double value, int count) {
  FillLoop(dst, value, count);
}

void Fill(Complex* dst, Complex value, int count) {
  double* d = AsDoubles(dst);
  const double re = value.real();
  const double im = value.imag();
  for (int i = 0; i < count; ++i) {
    d[2 * static_cast<std::ptrdiff_t>(i)] = re;
    d[2 * static_cast<std::ptrdiff_t>(i) + 1] = im;
  }
}

void FillStride12(int32_t* dst, int32_t value, int count) {
  for (std::ptrdiff_t i = 0; i < count; ++i) dst[3 * i] = value;
}

void FillSamples24(void* dst, int32_t value, int count) {
  if (count <= 0) return;
  auto* bytes = static_cast<unsigned char*>(dst);
  // Four samples make a 12-byte pattern of three 32-bit words.
  unsigned char pattern[12];
  for (int s = 0; s < 4; ++s) StoreSample24(pattern + 3 * s, value & 0xFFFFFF);
  const int groups = count / 4;
  if (groups > 0) {
    if (reinterpret_cast<std::uintptr_t>(bytes) % alignof(int32_t) == 0) {
      int32_t words[3];
      std::memcpy(words, pattern, sizeof words);
      auto* w = reinterpret_cast<int32_t*>(bytes);
      FillStride12(w, words[0], groups);
      FillStride12(w + 1, words[1], groups);
      FillStride12(w + 2, words[2], groups);
    } else {
      for (std::ptrdiff_t g = 0; g < groups; ++g) std::memcpy(bytes + 12 * g, pattern, 12);
    }
  }
  const std::ptrdiff_t done = static_cast<std::ptrdiff_t>(groups) * 12;
  std::memcpy(bytes + done, pattern, static_cast<std::size_t>(count % 4) * 3);
}

void Zero(uint8_t* dst, int count) {
  if (count > 0) std::memset(dst, 0, BytesOf<uint8_t>(count));
}
void Zero(int16_t* dst, int count) {
  if (count > 0) std::memset(dst, 0, BytesOf<int16_t>(count));
}
void Zero(int32_t* dst, int count) {
  if (count > 0) std::memset(dst, 0, BytesOf<int32_t>(count));
}
// All-zero bytes are +0.0 in IEEE 754, so a memset is exact for doubles and complex pairs.
void Zero(double* dst, int count) {
  if (count > 0) std::memset(dst, 0, BytesOf<double>(count));
}
void Zero(Complex* dst, int count) {
  if (count > 0) std::memset(static_cast<void*>(dst), 0, BytesOf<Complex>(count));
}

// --- Conversion ----------------------------------------------------------------------------

void Convert(double* dst, const int32_t* src, int count) {
  for (int i = 0; i < count; ++i) dst[i] = static_cast<double>(src[i]);
}

// --- Double arithmetic ---------------------------------------------------------------------

void Add(double* inOut, const double* other, int count) {
  for (int i = 0; i < count; ++i) inOut[i] += other[i];
}
void Subtract(double* inOut, const double* other, int count) {
  for (int i = 0; i < count; ++i) inOut[i] -= other[i];
}
void Multiply(double* inOut, const double* other, int count) {
  for (int i = 0; i < count; ++i) inOut[i] *= other[i];
}
bool Divide(double* inOut, const double* other, int count) {
  int zeros = 0;
  for (int i = 0; i < count; ++i) {
    zeros |= other[i] == 0.0;
    inOut[i] /= other[i];
  }
  return zeros != 0;
}

// --- Complex arithmetic --------------------------------------------------------------------

// Additive operations act on real and imaginary parts alike: one double loop over 2 * count
// items, counted in ptrdiff_t so that a count near INT_MAX cannot overflow.
void Add(Complex* inOut, const Complex* other, int count) {
  double* d = AsDoubles(inOut);
  const double* o = AsDoubles(other);
  const std::ptrdiff_t n = 2 * static_cast<std::ptrdiff_t>(count);
  for (std::ptrdiff_t i = 0; i < n; ++i) d[i] += o[i];
}
void Subtract(Complex* inOut, const Complex* other, int count) {
  double* d = AsDoubles(inOut);
  const double* o = AsDoubles(other);
  const std::ptrdiff_t n = 2 * static_cast<std::ptrdiff_t>(count);
  for (std::ptrdiff_t i = 0; i < n; ++i) d[i] -= o[i];
}

void Multiply(Complex* inOut, const Complex* other, int count) {
  double* d = AsDoubles(inOut);
  const double* o = AsDoubles(other);
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    const double a = d[2 * i], b = d[2 * i + 1];
    const double c = o[2 * i], e = o[2 * i + 1];
    d[2 * i] = a * c - b * e;
    d[2 * i + 1] = a * e + b * c;
  }
}

bool Divide(Complex* inOut, const Complex* other, int count) {
  double* d = AsDoubles(inOut);
  const double* o = AsDoubles(other);
  bool zero = false;
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    const double a = d[2 * i], b = d[2 * i + 1];
    const double c = o[2 * i], e = o[2 * i + 1];
    double re, im;
    if (c == 0.0 && e == 0.0) {
      zero = true;
      re = 0.0;
      im = 0.0;
    } else if (std::fabs(c) >= std::fabs(e)) {
      const double r = e / c;
      const double den = c + e * r;
      re = (a + b * r) / den;
      im = (b - a * r) / den;
    } else {
      const double r = c / e;
      const double den = c * r + e;
      re = (a * r + b) / den;
      im = (b * r - a) / den;
    }
    d[2 * i] = re;
    d[2 * i + 1] = im;
  }
  return zero;
}

// --- 32-bit integer arithmetic (saturating) ------------------------------------------------

// Sums and differences are formed modulo 2^32 (unsigned, so no signed overflow) and replaced
// by the extreme of a's sign when the sign bits show an overflow; unlike a 64-bit clamp this
// stays in 32-bit lanes and vectorises.
void Add(int32_t* inOut, const int32_t* other, int count) {
  for (int i = 0; i < count; ++i) {
    const int32_t a = inOut[i], b = other[i];
    const auto s = static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
    const int32_t extreme = (a >> 31) ^ std::numeric_limits<int32_t>::max();
    inOut[i] = ((a ^ s) & (b ^ s)) < 0 ? extreme : s;
  }
}
void Subtract(int32_t* inOut, const int32_t* other, int count) {
  for (int i = 0; i < count; ++i) {
    const int32_t a = inOut[i], b = other[i];
    const auto s = static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
    const int32_t extreme = (a >> 31) ^ std::numeric_limits<int32_t>::max();
    inOut[i] = ((a ^ b) & (a ^ s)) < 0 ? extreme : s;
  }
}
void Multiply(int32_t* inOut, const int32_t* other, int count) {
  for (int i = 0; i < count; ++i) inOut[i] = SaturateInt32(int64_t{inOut[i]} * other[i]);
}
bool Divide(int32_t* inOut, const int32_t* other, int count) {
  bool zero = false;
  for (int i = 0; i < count; ++i) {
    const int64_t a = inOut[i];
    const int64_t b = other[i];
    if (b == 0) {
      zero = true;
      inOut[i] = a > 0   ? std::numeric_limits<int32_t>::max()
                 : a < 0 ? std::numeric_limits<int32_t>::min()
                         : 0;
    } else {
      inOut[i] = SaturateInt32(a / b);
    }
  }
  return zero;
}

// --- Byte arithmetic (saturating to 0..255) -----------------------------------------------

void Add(uint8_t* inOut, const uint8_t* other, int count) {
  for (int i = 0; i < count; ++i) {
    const unsigned s = unsigned{inOut[i]} + other[i];
    inOut[i] = static_cast<uint8_t>(s > 255u ? 255u : s);
  }
}
void Subtract(uint8_t* inOut, const uint8_t* other, int count) {
  for (int i = 0; i < count; ++i) {
    const uint8_t a = inOut[i], b = other[i];
    inOut[i] = static_cast<uint8_t>(a > b ? a - b : 0);
  }
}
void Multiply(uint8_t* inOut, const uint8_t* other, int count) {
  for (int i = 0; i < count; ++i) {
    const unsigned p = unsigned{inOut[i]} * other[i];
    inOut[i] = static_cast<uint8_t>(p > 255u ? 255u : p);
  }
}
bool Divide(uint8_t* inOut, const uint8_t* other, int count) {
  bool zero = false;
  for (int i = 0; i < count; ++i) {
    const unsigned a = inOut[i], b = other[i];
    if (b == 0) {
      zero = true;
      inOut[i] = a != 0 ? 255 : 0;
    } else {
      inOut[i] = static_cast<uint8_t>(a / b);
    }
  }
  return zero;
}

// --- Minimum, maximum, sweep ---------------------------------------------------------------

double Minimum(const double* src, int count) {
  return Extreme<true>(src, count);
}
double Maximum(const double* src, int count) {
  return Extreme<false>(src, count);
}

void FillJaehne(double* dst, int count, double magnitude) {
  if (count <= 0) return;
  // sin(pi * n^2 / (2N)) has period 4N in n^2, so n^2 is tracked modulo 4N; stepping by
  // (n+1)^2 - n^2 = 2n + 1 < 2N keeps the residue exact with one subtraction at most.
  const uint64_t period = 4 * static_cast<uint64_t>(count);
  const double scale = std::numbers::pi / (2.0 * static_cast<double>(count));
  uint64_t residue = 0;
  for (int n = 0; n < count; ++n) {
    dst[n] = magnitude * std::sin(scale * static_cast<double>(residue));
    residue += 2 * static_cast<uint64_t>(n) + 1;
    if (residue >= period) residue -= period;
  }
}

}  // namespace tardivox::vec
