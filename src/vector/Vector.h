#pragma once
// Whole-array kernels used by the buffers, the queues and the waterfall image: copy, fill,
// zero, convert, arithmetic, minimum and maximum, strided sample copies, sample width
// conversion, overlapping moves and pixel rectangle fills.
//
// Common contract of every function here:
// - A count of 0 or below does nothing (and Minimum/Maximum return 0.0). Counts are element
//   counts, never bytes, except where the name says Bytes.
// - The caller owns every pointer and keeps every range inside its allocation; nothing is
//   checked or allocated, nothing throws. A null pointer is allowed only with a count of 0
//   or below.
// - All functions are pure computations on the given memory: they may be called from any
//   thread, and concurrently, as long as the ranges written are not touched by another thread.
// - No function traps or has undefined behaviour for any input value: integer overflow,
//   division by zero and the most negative value divided by -1 all have a defined result
//   stated below.
// - "In-place" operations write their result over the first array (`inOut`), reading the
//   second one (`other`); `other` may equal `inOut` (e.g. Add(x, x, n) doubles every item).
//
// Strided sample functions address samples through raw bytes: `data` points at the first
// sample, sample i lives at `data + i * strideBytes`. Strides may be any value (including
// negative or smaller than the sample width); samples need no alignment (they are loaded and
// stored through memcpy). Sample encodings, by width:
//    8 bits: unsigned byte, silence 127 for arithmetic (the 16/32-bit conversions put it at 128)
//   16 bits: signed little-endian 16-bit
//   24 bits: three bytes little-endian, bit 23 is the sign (see LoadSample24/StoreSample24)
//   32 bits: signed little-endian 32-bit
// (The host is little-endian; the kernels copy the native representation.)

#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tardivox::vec {

// One complex item of a complex buffer: 16 bytes, (real, imaginary).
using Complex = std::complex<double>;

// ---------------------------------------------------------------------------------------
// Copy and move. Source and destination ranges may overlap (the copy behaves as if through
// a temporary), so copying a buffer onto a shifted part of itself is safe.

void Copy(uint8_t* dst, const uint8_t* src, int count);
void Copy(int32_t* dst, const int32_t* src, int count);
void Copy(double* dst, const double* src, int count);

// Moves `byteCount` bytes from `src` to `dst` within one area; the ranges may overlap in
// either direction (scrolling an image up or down).
void MoveBytes(void* dst, const void* src, int byteCount);

// ---------------------------------------------------------------------------------------
// Strided sample copies: copies `count` samples, sample i read at src + i * srcStrideBytes and
// written at dst + i * dstStrideBytes. Used to copy one channel of an interleaved buffer into
// one channel of another. Samples are processed in ascending order, each read completely
// before it is written; overlapping source and destination ranges are safe only when
// dst == src or the ranges do not interleave (the result is otherwise unspecified but stays
// within the given ranges).
// The 24-bit copy is a 16-bit copy of each sample's first two bytes followed by an 8-bit copy
// of its third byte.

void CopySamples8(void* dst, std::ptrdiff_t dstStrideBytes, const void* src,
                  std::ptrdiff_t srcStrideBytes, int count);
void CopySamples16(void* dst, std::ptrdiff_t dstStrideBytes, const void* src,
                   std::ptrdiff_t srcStrideBytes, int count);
void CopySamples24(void* dst, std::ptrdiff_t dstStrideBytes, const void* src,
                   std::ptrdiff_t srcStrideBytes, int count);
void CopySamples32(void* dst, std::ptrdiff_t dstStrideBytes, const void* src,
                   std::ptrdiff_t srcStrideBytes, int count);

// ---------------------------------------------------------------------------------------
// Fill and zero: every one of the `count` items becomes `value` (or zero).

void Fill(uint8_t* dst, uint8_t value, int count);
void Fill(int16_t* dst, int16_t value, int count);
void Fill(int32_t* dst, int32_t value, int count);
void Fill(double* dst, double value, int count);
void Fill(Complex* dst, Complex value, int count);

// Sets dst[0], dst[3], dst[6], ... (`count` 32-bit items, 12 bytes apart) to `value`. Three
// such fills with different words lay a repeating 12-byte pattern, i.e. four 24-bit samples.
void FillStride12(int32_t* dst, int32_t value, int count);

// Fills `count` contiguous 24-bit samples (3 * count bytes from `dst`, no alignment needed)
// with the low 24 bits of `value`. Groups of four samples are laid by FillStride12 when `dst`
// is 4-byte aligned, by 12-byte copies otherwise.
void FillSamples24(void* dst, int32_t value, int count);

void Zero(uint8_t* dst, int count);
void Zero(int16_t* dst, int count);
void Zero(int32_t* dst, int count);
void Zero(double* dst, int count);
void Zero(Complex* dst, int count);

// ---------------------------------------------------------------------------------------
// Conversion: dst[i] = src[i] exactly (every 32-bit integer is a double).
void Convert(double* dst, const int32_t* src, int count);

// ---------------------------------------------------------------------------------------
// In-place arithmetic on contiguous arrays: inOut[i] = inOut[i] (op) other[i].
//
// Every Divide returns true when at least one divisor item was zero (for doubles: exactly
// +0.0 or -0.0; for complex: both parts zero), false otherwise. Results with a zero divisor:
// - double:  the IEEE quotient is left in place (+inf, -inf, or NaN for 0/0), so the caller
//            can see the sign of each such quotient and replace it by its own rule.
// - Complex: the quotient becomes 0 + 0i (no infinities or NaNs enter the data).
// - int32_t: saturates by the dividend's sign: INT32_MAX for a positive dividend, INT32_MIN
//            for a negative one, 0 for 0.
// - uint8_t: 255 for a non-zero dividend, 0 for 0.

// IEEE double arithmetic.
void Add(double* inOut, const double* other, int count);
void Subtract(double* inOut, const double* other, int count);
void Multiply(double* inOut, const double* other, int count);
bool Divide(double* inOut, const double* other, int count);

// Complex arithmetic on (real, imaginary) pairs. Multiply uses the textbook formula
// (ac - bd, ad + bc); Divide scales by the larger divisor part (Smith's method) so that large
// or small divisors do not overflow or underflow on the way.
void Add(Complex* inOut, const Complex* other, int count);
void Subtract(Complex* inOut, const Complex* other, int count);
void Multiply(Complex* inOut, const Complex* other, int count);
bool Divide(Complex* inOut, const Complex* other, int count);

// Signed 32-bit integers, computed in 64 bits and saturated to INT32_MIN..INT32_MAX.
// Divide truncates towards zero; INT32_MIN / -1 saturates to INT32_MAX.
void Add(int32_t* inOut, const int32_t* other, int count);
void Subtract(int32_t* inOut, const int32_t* other, int count);
void Multiply(int32_t* inOut, const int32_t* other, int count);
bool Divide(int32_t* inOut, const int32_t* other, int count);

// Unsigned bytes saturated to 0..255. Divide is the unsigned (truncated) quotient.
void Add(uint8_t* inOut, const uint8_t* other, int count);
void Subtract(uint8_t* inOut, const uint8_t* other, int count);
void Multiply(uint8_t* inOut, const uint8_t* other, int count);
bool Divide(uint8_t* inOut, const uint8_t* other, int count);

// ---------------------------------------------------------------------------------------
// Minimum and maximum of `count` doubles; 0.0 when count <= 0. NaN items are ignored; the
// result is NaN only when every item is NaN.
double Minimum(const double* src, int count);
double Maximum(const double* src, int count);

// ---------------------------------------------------------------------------------------
// Sine sweep: dst[n] = magnitude * sin(pi * n^2 / (2 * count)) for 0 <= n < count. The phase
// is reduced exactly in integers (n^2 modulo 4 * count) before the sine, so long sweeps keep
// full precision. (count == 1 gives the single item 0.0; callers wanting another rule for
// single items or negative magnitudes apply it themselves.)
void FillJaehne(double* dst, int count, double magnitude);

// ---------------------------------------------------------------------------------------
// 24-bit sample access.
//
// LoadSample24 reads three little-endian bytes as a signed value (bit 23 sign-extended):
// bytes FF FF FF read as -1, 00 00 80 as -8388608.
inline int32_t LoadSample24(const void* p) {
  uint8_t b[3];
  std::memcpy(b, p, 3);
  const uint32_t u = uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16);
  return static_cast<int32_t>(u ^ 0x800000u) - 0x800000;
}

// StoreSample24 stores any integer v: bytes 0 and 1 take the low 16 bits of v, byte 2 takes
// bits 16..23 of v with its bit 7 forced on when v is negative. In-range values
// (-8388608..8388607) therefore round-trip exactly; out-of-range values wrap, a negative one
// always reading back negative.
inline void StoreSample24(void* p, int64_t v) {
  const uint64_t u = static_cast<uint64_t>(v);
  uint8_t b[3] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8),
                  static_cast<uint8_t>((u >> 16) | (v < 0 ? 0x80u : 0u))};
  std::memcpy(p, b, 3);
}

// ---------------------------------------------------------------------------------------
// Strided in-place sample arithmetic: sample a at inOut + i * inOutStrideBytes is combined
// with sample b at other + i * otherStrideBytes, for i < count, and the result replaces a.
//
//  width | Add          | Subtract     | Multiply                 | Divide
//  8     | a + b - 127  | a + 127 - b  | (a-127) * (b-127) + 127  | (a-127) / (b-127) + 127,
//        |              |              |                          | 127 when b == 127
//  16/24/32 | a + b     | a - b        | a * b                    | a / b
//
// Results by width:
//  8:  kept to the low byte (wraps).
//  16: saturated to -32768..32767.
//  24: stored by StoreSample24 (wraps, negative results stay negative).
//  32: kept to the low 32 bits (wraps; INT32_MIN / -1 gives INT32_MIN).
// Divisions truncate towards zero. A zero divisor (16/24/32 bits) gives the width's extreme
// of the dividend's sign: the largest value for a > 0, the smallest for a < 0, 0 for a = 0.
// Divide returns true when a zero divisor (b == 127 for 8 bits) was met.

void AddSamples8(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                 std::ptrdiff_t otherStrideBytes, int count);
void SubtractSamples8(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                      std::ptrdiff_t otherStrideBytes, int count);
void MultiplySamples8(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                      std::ptrdiff_t otherStrideBytes, int count);
bool DivideSamples8(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                    std::ptrdiff_t otherStrideBytes, int count);

void AddSamples16(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                  std::ptrdiff_t otherStrideBytes, int count);
void SubtractSamples16(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count);
void MultiplySamples16(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count);
bool DivideSamples16(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                     std::ptrdiff_t otherStrideBytes, int count);

void AddSamples24(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                  std::ptrdiff_t otherStrideBytes, int count);
void SubtractSamples24(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count);
void MultiplySamples24(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count);
bool DivideSamples24(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                     std::ptrdiff_t otherStrideBytes, int count);

void AddSamples32(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                  std::ptrdiff_t otherStrideBytes, int count);
void SubtractSamples32(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count);
void MultiplySamples32(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                       std::ptrdiff_t otherStrideBytes, int count);
bool DivideSamples32(void* inOut, std::ptrdiff_t inOutStrideBytes, const void* other,
                     std::ptrdiff_t otherStrideBytes, int count);

// The same four operations chosen by width (8, 16, 24 or 32 bits). Returns false and writes
// nothing for any other width; otherwise returns what the chosen function returns (the
// zero-divisor flag for Divide, true for the others).
enum class SampleOp { Add, Subtract, Multiply, Divide };
bool CombineSamples(SampleOp op, int bits, void* inOut, std::ptrdiff_t inOutStrideBytes,
                    const void* other, std::ptrdiff_t otherStrideBytes, int count);

// Strided in-place scaling: each sample becomes sample * factor rounded to the nearest
// integer (ties to even), stored without saturation: the low 8, 16 or 32 bits of the rounded
// integer, or through StoreSample24. An 8-bit sample is scaled as its raw unsigned byte.
// A product that is not finite (NaN or infinite factor) stores 0. Returns false and writes
// nothing for a width other than 8, 16, 24 or 32.
bool ScaleSamples(int bits, void* inOut, std::ptrdiff_t strideBytes, double factor, int count);

// ---------------------------------------------------------------------------------------
// Width conversion: converts `count` samples of `srcBits` read at src + i * srcStrideBytes
// into samples of `dstBits` written at dst + i * dstStrideBytes. Widths are 8, 16, 24 or 32;
// returns false and writes nothing for any other width. Equal widths copy (CopySamplesN).
// Integer arithmetic in 64 bits, divisions truncating towards zero:
//   8 -> 16: s * 257 - 32768                  16 -> 8: ((s - (s >> 8)) >> 8) + 128
//   8 -> 24: (s - 127) * 8388607 / 127        24 -> 8: s * 127 / 8388607 + 127
//   8 -> 32: INT32_MIN for s == 0, else the   32 -> 8: ((s - (s >> 8)) >> 24) + 128
//            low 32 bits of s * 16843009 + 2^31
//  16 -> 24: s * 8388607 / 32767              24 -> 16: s * 32767 / 8388607
//  16 -> 32: s * 2147483647 / 32767           32 -> 16: s * 32767 / 2147483647
//  24 -> 32: s * 2147483647 / 8388607         32 -> 24: s * 8388607 / 2147483647
// (>> is an arithmetic shift.) Every result is then clamped to the destination's range, so the
// few inputs that would land outside it (8-bit 255 to 24 bits, the most negative 16- and
// 24-bit values scaled up) give the destination's extreme instead of wrapping to the opposite
// sign. So 8-bit 0/128/255 become -32768/128/32767 at 16 bits, and 16-bit -1 becomes -256 at
// 24 bits.
bool ConvertSamples(void* dst, int dstBits, std::ptrdiff_t dstStrideBytes, const void* src,
                    int srcBits, std::ptrdiff_t srcStrideBytes, int count);

// ---------------------------------------------------------------------------------------
// Fills a rectangle of 32-bit pixels with `value`: `rowCount` rows of `widthPixels` pixels,
// row r starting at start + r * rowStrideBytes (negative for bottom-up images). Does nothing
// when the width or the row count is 0 or below. Pixels need not be 4-byte aligned and the
// stride need not be a multiple of 4 (such rows are written bytewise).
void FillRect32(void* start, std::ptrdiff_t rowStrideBytes, int widthPixels, int rowCount,
                uint32_t value);

}  // namespace tardivox::vec
