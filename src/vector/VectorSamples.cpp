// Strided sample kernels: copies, arithmetic, scaling, width conversion, and the pixel
// rectangle fill. Samples live inside interleaved frames at arbitrary byte offsets, so every
// access goes through memcpy into a local (no misaligned typed access, no aliasing issue),
// and each sample address is formed as base + i * stride only for valid i, so no pointer is
// ever computed outside the caller's range (negative strides included).

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "vector/Vector.h"

namespace tardivox::vec {

namespace {

using Bytes = unsigned char*;
using ConstBytes = const unsigned char*;

template <int kBits>
struct Sample;

template <>
struct Sample<8> {
  using Wide = int32_t;  // holds every intermediate of the 8-bit operations
  static constexpr int64_t kMin = 0, kMax = 255;
  static int32_t Load(ConstBytes p) { return *p; }
  static void Store(Bytes p, int64_t v) { *p = static_cast<unsigned char>(v); }
};
template <>
struct Sample<16> {
  using Wide = int32_t;  // holds a sum, difference or product of two 16-bit samples
  static constexpr int64_t kMin = -32768, kMax = 32767;
  static int32_t Load(ConstBytes p) {
    int16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static void Store(Bytes p, int64_t v) {
    const auto s = static_cast<int16_t>(static_cast<uint16_t>(v));
    std::memcpy(p, &s, sizeof s);
  }
};
template <>
struct Sample<24> {
  using Wide = int64_t;
  static constexpr int64_t kMin = -8388608, kMax = 8388607;
  static int32_t Load(ConstBytes p) { return LoadSample24(p); }
  static void Store(Bytes p, int64_t v) { StoreSample24(p, v); }
};
template <>
struct Sample<32> {
  using Wide = int64_t;
  static constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  static constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  static int32_t Load(ConstBytes p) {
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  // Modular: the low 32 bits of v.
  static void Store(Bytes p, int64_t v) {
    const auto s = static_cast<int32_t>(static_cast<uint32_t>(v));
    std::memcpy(p, &s, sizeof s);
  }
};

// Calls body(i * strideA, i * strideB) for i < count. The usual layouts (contiguous, stereo,
// mono against stereo) are dispatched to loops whose strides are compile-time constants so
// that the vectoriser can turn the memcpy loads and stores into packed ones; any other layout
// runs the generic loop.
template <std::ptrdiff_t kA, std::ptrdiff_t kB, class Body>
void StridedLoop(std::ptrdiff_t strideA, std::ptrdiff_t strideB, int count, Body& body) {
  const std::ptrdiff_t a = kA != 0 ? kA : strideA;
  const std::ptrdiff_t b = kB != 0 ? kB : strideB;
  for (std::ptrdiff_t i = 0; i < count; ++i) body(i * a, i * b);
}

template <std::ptrdiff_t kWidth, class Body>
void ForEachStrided(std::ptrdiff_t strideA, std::ptrdiff_t strideB, int count, Body body) {
  constexpr std::ptrdiff_t w = kWidth, w2 = 2 * kWidth;
  if (strideA == w && strideB == w) {
    StridedLoop<w, w>(strideA, strideB, count, body);
  } else if (strideA == w2 && strideB == w2) {
    StridedLoop<w2, w2>(strideA, strideB, count, body);
  } else if (strideA == w2 && strideB == w) {
    StridedLoop<w2, w>(strideA, strideB, count, body);
  } else if (strideA == w && strideB == w2) {
    StridedLoop<w, w2>(strideA, strideB, count, body);
  } else {
    StridedLoop<0, 0>(strideA, strideB, count, body);
  }
}

template <int kBits>
void CopyStrided(void* dst, std::ptrdiff_t dstStride, const void* src, std::ptrdiff_t srcStride,
                 int count) {
  constexpr std::ptrdiff_t kWidth = kBits / 8;
  if (count <= 0) return;
  auto d = static_cast<Bytes>(dst);
  auto s = static_cast<ConstBytes>(src);
  if (dstStride == kWidth && srcStride == kWidth) {
    std::memmove(d, s, static_cast<std::size_t>(count) * kWidth);
    return;
  }
  ForEachStrided<kWidth>(dstStride, srcStride, count,
                         [d, s](std::ptrdiff_t dOff, std::ptrdiff_t sOff) {
                           unsigned char v[kWidth];
                           std::memcpy(v, s + sOff, kWidth);
                           std::memcpy(d + dOff, v, kWidth);
                         });
}

// Applies `combine(a, b)` to each sample pair; it returns the value to store (the width's
// Store then wraps or keeps it) and may flag a zero divisor.
template <int kBits, class Combine>
void CombineStrided(void* inOut, std::ptrdiff_t inOutStride, const void* other,
                    std::ptrdiff_t otherStride, int count, Combine combine) {
  auto d = static_cast<Bytes>(inOut);
  auto o = static_cast<ConstBytes>(other);
  ForEachStrided<kBits / 8>(inOutStride, otherStride, count,
                            [d, o, &combine](std::ptrdiff_t dOff, std::ptrdiff_t oOff) {
                              using Wide = typename Sample<kBits>::Wide;
                              const Wide a = Sample<kBits>::Load(d + dOff);
                              const Wide b = Sample<kBits>::Load(o + oOff);
                              Sample<kBits>::Store(d + dOff, combine(a, b));
                            });
}

// Quotient of two samples of a signed width: truncated; a zero divisor gives the extreme of
// the dividend's sign (0 for 0). The most negative value divided by -1 yields kMax + 1, which
// the caller saturates or wraps as its width prescribes.
template <int kBits, class Wide>
Wide SignedQuotient(Wide a, Wide b, bool& zero) {
  if (b == 0) {
    zero = true;
    return static_cast<Wide>(a > 0 ? Sample<kBits>::kMax : a < 0 ? Sample<kBits>::kMin : 0);
  }
  return a / b;
}

int32_t Saturate16(int32_t v) {
  return std::clamp(v, -32768, 32767);
}

template <int kSrc, int kDst>
int64_t ConvertOne(int64_t s) {
  if constexpr (kSrc == 8 && kDst == 16) {
    return s * 257 - 32768;
  } else if constexpr (kSrc == 8 && kDst == 24) {
    return (s - 127) * 8388607 / 127;
  } else if constexpr (kSrc == 8 && kDst == 32) {
    // Maps 1..255 linearly onto the 32-bit range through a deliberate 32-bit wrap.
    if (s == 0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(static_cast<uint32_t>(s * 16843009 + 2147483648LL));
  } else if constexpr (kSrc == 16 && kDst == 8) {
    return ((s - (s >> 8)) >> 8) + 128;
  } else if constexpr (kSrc == 16 && kDst == 24) {
    return s * 8388607 / 32767;
  } else if constexpr (kSrc == 16 && kDst == 32) {
    return s * 2147483647 / 32767;
  } else if constexpr (kSrc == 24 && kDst == 8) {
    return s * 127 / 8388607 + 127;
  } else if constexpr (kSrc == 24 && kDst == 16) {
    return s * 32767 / 8388607;
  } else if constexpr (kSrc == 24 && kDst == 32) {
    return s * 2147483647 / 8388607;
  } else if constexpr (kSrc == 32 && kDst == 8) {
    return ((s - (s >> 8)) >> 24) + 128;
  } else if constexpr (kSrc == 32 && kDst == 16) {
    return s * 32767 / 2147483647;
  } else {
    static_assert(kSrc == 32 && kDst == 24);
    return s * 8388607 / 2147483647;
  }
}

template <int kSrc, int kDst>
void ConvertStrided(void* dst, std::ptrdiff_t dstStride, const void* src, std::ptrdiff_t srcStride,
                    int count) {
  auto d = static_cast<Bytes>(dst);
  auto s = static_cast<ConstBytes>(src);
  // Scaling by (2^k - 1) / (2^j - 1) sends the most negative source value just past the
  // destination's minimum (and 8-bit 255 past the 24-bit maximum); clamping keeps those
  // samples at full scale instead of letting them wrap to the opposite sign.
  auto convert = [d, s](std::ptrdiff_t dOff, std::ptrdiff_t sOff) {
    const int64_t v = ConvertOne<kSrc, kDst>(Sample<kSrc>::Load(s + sOff));
    Sample<kDst>::Store(d + dOff, std::clamp<int64_t>(v, Sample<kDst>::kMin, Sample<kDst>::kMax));
  };
  // Contiguous runs are the common case; the source width decides the constant strides.
  if (dstStride == kDst / 8 && srcStride == kSrc / 8) {
    StridedLoop<kDst / 8, kSrc / 8>(dstStride, srcStride, count, convert);
  } else {
    StridedLoop<0, 0>(dstStride, srcStride, count, convert);
  }
}

template <int kSrc>
bool ConvertFrom(void* dst, int dstBits, std::ptrdiff_t dstStride, const void* src,
                 std::ptrdiff_t srcStride, int count) {
  switch (dstBits) {
    case 8:
      if constexpr (kSrc != 8) ConvertStrided<kSrc, 8>(dst, dstStride, src, srcStride, count);
      return true;
    case 16:
      if constexpr (kSrc != 16) ConvertStrided<kSrc, 16>(dst, dstStride, src, srcStride, count);
      return true;
    case 24:
      if constexpr (kSrc != 24) ConvertStrided<kSrc, 24>(dst, dstStride, src, srcStride, count);
      return true;
    case 32:
      if constexpr (kSrc != 32) ConvertStrided<kSrc, 32>(dst, dstStride, src, srcStride, count);
      return true;
    default:
      return false;
  }
}

bool IsSampleWidth(int bits) {
  return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

template <int kBits>
void ScaleStrided(void* inOut, std::ptrdiff_t stride, double factor, int count) {
  constexpr double kTwo32 = 4294967296.0;
  auto d = static_cast<Bytes>(inOut);
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    Bytes p = d + i * stride;
    const double r = std::nearbyint(static_cast<double>(Sample<kBits>::Load(p)) * factor);
    if (!std::isfinite(r)) {
      Sample<kBits>::Store(p, 0);
      continue;
    }
    // fmod by 2^32 is exact and keeps every bit a 32-bit or narrower store looks at, while
    // bringing any magnitude into the int64 range (a direct cast of a large double is UB).
    const auto low = static_cast<int64_t>(std::fabs(r) < kTwo32 ? r : std::fmod(r, kTwo32));
    if constexpr (kBits == 24) {
      // The sign of the full rounded value decides bit 23, even when its low bits are zero.
      const auto u = static_cast<uint64_t>(low);
      const unsigned char b[3] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                  static_cast<unsigned char>((u >> 16) | (r < 0 ? 0x80u : 0u))};
      std::memcpy(p, b, 3);
    } else {
      Sample<kBits>::Store(p, low);
    }
  }
}

}  // namespace

// --- Strided copies ------------------------------------------------------------------------

void CopySamples8(void* dst, std::ptrdiff_t dstStrideBytes, const void* src,
                  std::ptrdiff_t srcStrideBytes, int count) {
  CopyStrided<8>(dst, dstStrideBytes, src, srcStrideBytes, count);
}
void CopySamples16(void* dst, std::ptrdiff_t dstStrideBytes, const void* src,
                   std::ptrdiff_t srcStrideBytes, int count) {
  CopyStrided<16>(dst, dstStrideBytes, src, srcStrideBytes, count);
}
void CopySamples24(void* dst, std::ptrdiff_t dstStrideBytes, const void* src,
                   std::ptrdiff_t srcStrideBytes, int count) {
  if (count <= 0) return;
  if (dstStrideBytes == 3 && srcStrideBytes == 3) {
    std::memmove(dst, src, static_cast<std::size_t>(count) * 3);
    return;
  }
  CopyStrided<16>(dst, dstStrideBytes, src, srcStrideBytes, count);
  CopyStrided<8>(static_cast<Bytes>(dst) + 2, dstStrideBytes, static_cast<ConstBytes>(src) + 2,
                 srcStrideBytes, count);
}
void CopySamples32(void* dst, std::ptrdiff_t dstStrideBytes, const void* src,
                   std::ptrdiff_t srcStrideBytes, int count) {
  CopyStrided<32>(dst, dstStrideBytes, src, srcStrideBytes, count);
}

// --- 8-bit arithmetic (silence 127, results wrap to the low byte) --------------------------

void AddSamples8(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                 std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<8>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                    [](int32_t a, int32_t b) { return a + b - 127; });
}
void SubtractSamples8(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                      std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<8>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                    [](int32_t a, int32_t b) { return a + 127 - b; });
}
void MultiplySamples8(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                      std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<8>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                    [](int32_t a, int32_t b) { return (a - 127) * (b - 127) + 127; });
}
bool DivideSamples8(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                    std::ptrdiff_t otherStrideBytes, int count) {
  bool zero = false;
  CombineStrided<8>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                    [&zero](int32_t a, int32_t b) -> int32_t {
                      if (b == 127) {
                        zero = true;
                        return 127;
                      }
                      return (a - 127) / (b - 127) + 127;
                    });
  return zero;
}

// --- 16-bit arithmetic (saturating) --------------------------------------------------------

void AddSamples16(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                  std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<16>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [](int32_t a, int32_t b) { return Saturate16(a + b); });
}
void SubtractSamples16(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<16>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [](int32_t a, int32_t b) { return Saturate16(a - b); });
}
void MultiplySamples16(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<16>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [](int32_t a, int32_t b) { return Saturate16(a * b); });
}
bool DivideSamples16(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                     std::ptrdiff_t otherStrideBytes, int count) {
  bool zero = false;
  CombineStrided<16>(
      inOut, inOutStrideBytes, other, otherStrideBytes, count,
      [&zero](int32_t a, int32_t b) { return Saturate16(SignedQuotient<16>(a, b, zero)); });
  return zero;
}

// --- 24-bit arithmetic (results through the 24-bit store rule) -----------------------------

void AddSamples24(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                  std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<24>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [](int64_t a, int64_t b) { return a + b; });
}
void SubtractSamples24(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<24>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [](int64_t a, int64_t b) { return a - b; });
}
void MultiplySamples24(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<24>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [](int64_t a, int64_t b) { return a * b; });
}
bool DivideSamples24(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                     std::ptrdiff_t otherStrideBytes, int count) {
  bool zero = false;
  CombineStrided<24>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [&zero](int64_t a, int64_t b) { return SignedQuotient<24>(a, b, zero); });
  return zero;
}

// --- 32-bit arithmetic (wrapping; computed in 64 bits, stored as the low 32) ---------------

void AddSamples32(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                  std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<32>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [](int64_t a, int64_t b) { return a + b; });
}
void SubtractSamples32(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count) {
  CombineStrided<32>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [](int64_t a, int64_t b) { return a - b; });
}
void MultiplySamples32(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count) {
  // The product of two int32 fits in int64 (|a*b| <= 2^62).
  CombineStrided<32>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [](int64_t a, int64_t b) { return a * b; });
}
bool DivideSamples32(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                     std::ptrdiff_t otherStrideBytes, int count) {
  bool zero = false;
  CombineStrided<32>(inOut, inOutStrideBytes, other, otherStrideBytes, count,
                     [&zero](int64_t a, int64_t b) { return SignedQuotient<32>(a, b, zero); });
  return zero;
}

bool CombineSamples(SampleOp op, int bits, void* inOut, std::ptrdiff_t inOutStrideBytes,
                    const void* other, std::ptrdiff_t otherStrideBytes, int count) {
  using AddFn = void (*)(void*, std::ptrdiff_t, const void*, std::ptrdiff_t, int);
  using DivFn = bool (*)(void*, std::ptrdiff_t, const void*, std::ptrdiff_t, int);
  struct Row {
    int bits;
    AddFn add, subtract, multiply;
    DivFn divide;
  };
  static constexpr Row kRows[] = {
      {8, AddSamples8, SubtractSamples8, MultiplySamples8, DivideSamples8},
      {16, AddSamples16, SubtractSamples16, MultiplySamples16, DivideSamples16},
      {24, AddSamples24, SubtractSamples24, MultiplySamples24, DivideSamples24},
      {32, AddSamples32, SubtractSamples32, MultiplySamples32, DivideSamples32},
  };
  for (const Row& row : kRows) {
    if (row.bits != bits) continue;
    switch (op) {
      case SampleOp::Add:
        row.add(inOut, inOutStrideBytes, other, otherStrideBytes, count);
        return true;
      case SampleOp::Subtract:
        row.subtract(inOut, inOutStrideBytes, other, otherStrideBytes, count);
        return true;
      case SampleOp::Multiply:
        row.multiply(inOut, inOutStrideBytes, other, otherStrideBytes, count);
        return true;
      case SampleOp::Divide:
        return row.divide(inOut, inOutStrideBytes, other, otherStrideBytes, count);
    }
  }
  return false;
}

bool ScaleSamples(int bits, void* inOut, std::ptrdiff_t strideBytes, double factor, int count) {
  switch (bits) {
    case 8:
      ScaleStrided<8>(inOut, strideBytes, factor, count);
      return true;
    case 16:
      ScaleStrided<16>(inOut, strideBytes, factor, count);
      return true;
    case 24:
      ScaleStrided<24>(inOut, strideBytes, factor, count);
      return true;
    case 32:
      ScaleStrided<32>(inOut, strideBytes, factor, count);
      return true;
    default:
      return false;
  }
}

// --- Width conversion ----------------------------------------------------------------------

bool ConvertSamples(void* dst, int dstBits, std::ptrdiff_t dstStrideBytes, const void* src,
                    int srcBits, std::ptrdiff_t srcStrideBytes, int count) {
  if (!IsSampleWidth(dstBits) || !IsSampleWidth(srcBits)) return false;
  if (dstBits == srcBits) {
    switch (srcBits) {
      case 8:
        CopySamples8(dst, dstStrideBytes, src, srcStrideBytes, count);
        break;
      case 16:
        CopySamples16(dst, dstStrideBytes, src, srcStrideBytes, count);
        break;
      case 24:
        CopySamples24(dst, dstStrideBytes, src, srcStrideBytes, count);
        break;
      default:
        CopySamples32(dst, dstStrideBytes, src, srcStrideBytes, count);
        break;
    }
    return true;
  }
  switch (srcBits) {
    case 8:
      return ConvertFrom<8>(dst, dstBits, dstStrideBytes, src, srcStrideBytes, count);
    case 16:
      return ConvertFrom<16>(dst, dstBits, dstStrideBytes, src, srcStrideBytes, count);
    case 24:
      return ConvertFrom<24>(dst, dstBits, dstStrideBytes, src, srcStrideBytes, count);
    default:
      return ConvertFrom<32>(dst, dstBits, dstStrideBytes, src, srcStrideBytes, count);
  }
}

// --- Pixel rectangle -----------------------------------------------------------------------

void FillRect32(void* start, std::ptrdiff_t rowStrideBytes, int widthPixels, int rowCount,
                uint32_t value) {
  if (widthPixels <= 0 || rowCount <= 0) return;
  auto base = static_cast<Bytes>(start);
  const bool aligned = reinterpret_cast<std::uintptr_t>(base) % alignof(uint32_t) == 0 &&
                       rowStrideBytes % static_cast<std::ptrdiff_t>(sizeof(uint32_t)) == 0;
  for (std::ptrdiff_t r = 0; r < rowCount; ++r) {
    Bytes row = base + r * rowStrideBytes;
    if (aligned) {
      auto* px = reinterpret_cast<uint32_t*>(row);
      for (int x = 0; x < widthPixels; ++x) px[x] = value;
    } else {
      for (std::ptrdiff_t x = 0; x < widthPixels; ++x) std::memcpy(row + 4 * x, &value, 4);
    }
  }
}

}  // namespace tardivox::vec
