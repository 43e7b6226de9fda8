#pragma once
// Test helpers: little-endian sample bytes written and read independently of the kernels.

#include <cstdint>
#include <vector>

namespace tardivox::vec::test {

inline void PutSample(std::vector<uint8_t>& bytes, std::size_t offset, int bits, int64_t v) {
  for (int k = 0; k < bits / 8; ++k) bytes[offset + k] = static_cast<uint8_t>(v >> (8 * k));
}

// Reads a sample of `bits` as the signed value it encodes (8 bits: the unsigned byte).
inline int64_t GetSample(const std::vector<uint8_t>& bytes, std::size_t offset, int bits) {
  uint64_t u = 0;
  for (int k = 0; k < bits / 8; ++k) u |= uint64_t{bytes[offset + k]} << (8 * k);
  if (bits == 8) return static_cast<int64_t>(u);
  const uint64_t sign = uint64_t{1} << (bits - 1);
  return static_cast<int64_t>(u ^ sign) - static_cast<int64_t>(sign);
}

}  // namespace tardivox::vec::test
