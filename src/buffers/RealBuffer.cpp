#include "buffers/RealBuffer.h"

#include <cmath>
#include <string>

#include "core/Exceptions.h"
#include "vector/Vector.h"

namespace tardivox {

namespace {

constexpr uint32_t kItemSize = sizeof(double);

[[noreturn]] void RaiseIndex(uint32_t index) {
  throw ERangeError(FormatMessage("Index out of rabge = %u", {std::to_string(index)}));
}

bool IsMarker(double value) {
  return value == kNoValueMarker || value == -kNoValueMarker;
}

}  // namespace

TSLRealBuffer::TSLRealBuffer(uint32_t count) : TSLMemoryBuffer(count, kItemSize) {}

TSLRealBuffer::TSLRealBuffer(const int32_t* values, uint32_t count)
    : TSLMemoryBuffer(count, kItemSize) {
  if (values != nullptr) vec::Convert(ReadData(), values, static_cast<int>(count));
}

TSLRealBuffer::TSLRealBuffer(const TSLRealBuffer& source)
    : TRefCounted(),
      ISLDataBuffer(),
      ISLGenericBuffer(),
      ISLRealBuffer(),
      TSLMemoryBuffer(source, kItemSize) {}

TSLRealBuffer::TSLRealBuffer(ISLDataBuffer* source)
    : TSLMemoryBuffer(MemorySource(source, "TSLRealBuffer"), kItemSize) {}

void TSLRealBuffer::CopyTo(uint32_t selfOffset, ISLDataBuffer* destination,
                           uint32_t destinationOffset, uint32_t count) {
  if (destination == nullptr) return;
  if (auto* real = dynamic_cast<TSLRealBuffer*>(destination->Implementation())) {
    CopyItemsTo(selfOffset, *real, destinationOffset, count);
  } else {
    CopyBytesTo(selfOffset, destination, destinationOffset, count);
  }
}

TRef<ISLDataBuffer> TSLRealBuffer::Clone() {
  return TRef<ISLDataBuffer>(new TSLRealBuffer(*this));
}

TRef<ISLDataBufferAccess> TSLRealBuffer::NewAccess() {
  return TRef<ISLDataBufferAccess>(new TSLRealDataBufferAccess(this));
}

double TSLRealBuffer::GetValue(uint32_t index) {
  if (index >= Count()) RaiseIndex(index);
  return ReadData()[index];
}

void TSLRealBuffer::SetValue(uint32_t index, double value) {
  MakeUnique(true);
  if (index >= Count()) RaiseIndex(index);
  ReadData()[index] = value;
}

void TSLRealBuffer::FillJaehne(double magnitude) {
  const uint32_t count = Count();
  if (!(magnitude >= 0) || count == 0) return;
  double* items = WriteData();
  if (count == 1) {
    items[0] = magnitude;
  } else {
    vec::FillJaehne(items, static_cast<int>(count), magnitude);
  }
}

void TSLRealBuffer::Add(ISLRealBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Add(reinterpret_cast<double*>(p.self), reinterpret_cast<const double*>(p.other), p.count);
}

void TSLRealBuffer::Subtract(ISLRealBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Subtract(reinterpret_cast<double*>(p.self), reinterpret_cast<const double*>(p.other),
                p.count);
}

void TSLRealBuffer::Multiply(ISLRealBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Multiply(reinterpret_cast<double*>(p.self), reinterpret_cast<const double*>(p.other),
                p.count);
}

void TSLRealBuffer::Divide(ISLRealBuffer* other) {
  const Operands p = PrepareOperands(other);
  auto* quotients = reinterpret_cast<double*>(p.self);
  const auto* divisors = reinterpret_cast<const double*>(p.other);
  if (!vec::Divide(quotients, divisors, p.count)) return;
  // Downstream displays cannot draw infinities: bound every quotient of a missing divisor.
  // When other is this buffer its items are now quotients, which are NaN exactly where the
  // divisor was 0, so the same items are found.
  for (int i = 0; i < p.count; ++i) {
    if (divisors[i] == 0.0 || std::isnan(divisors[i])) {
      quotients[i] = quotients[i] > 0 ? 1.0e15 : -1.0e14;
    }
  }
}

void TSLRealBuffer::Fill(double value) {
  vec::Fill(WriteData(), value, static_cast<int>(Count()));
}

void TSLRealBuffer::Zero() {
  vec::Zero(WriteData(), static_cast<int>(Count()));
}

double TSLRealBuffer::Minimum() {
  return vec::Minimum(ReadData(), static_cast<int>(Count()));
}

double TSLRealBuffer::Maximum() {
  return vec::Maximum(ReadData(), static_cast<int>(Count()));
}

void TSLRealBuffer::ClampRange(int32_t& start, int32_t& end) {
  const auto count = static_cast<int32_t>(Count());
  if (start < 0) start = 0;
  if (end < 0) end = 0;
  if (end > count) end = count;
  if (start >= count) start = count - 1;
  // An empty buffer would leave start at -1; the range is then empty.
  if (start < 0) start = 0;
}

double TSLRealBuffer::MinimumInRange(int32_t start, int32_t end) {
  ClampRange(start, end);
  if (start >= end) return 0.0;
  return vec::Minimum(ReadData() + start, end - start);
}

double TSLRealBuffer::MaximumInRange(int32_t start, int32_t end) {
  ClampRange(start, end);
  if (start >= end) return 0.0;
  return vec::Maximum(ReadData() + start, end - start);
}

double TSLRealBuffer::MinimumOfValid(int32_t start, int32_t end) {
  ClampRange(start, end);
  if (start >= end) return 0.0;
  const double* items = ReadData();
  double result = items[start];
  if (!(result > -kNoValueMarker) || result == kNoValueMarker) result = 0.0;
  for (int32_t i = start + 1; i < end; ++i) {
    const double v = items[i];
    if (IsMarker(v) || std::isnan(v)) continue;
    if (v < result) result = v;
  }
  return result;
}

double TSLRealBuffer::MaximumOfValid(int32_t start, int32_t end) {
  ClampRange(start, end);
  if (start >= end) return 0.0;
  const double* items = ReadData();
  double result = items[start];
  // A NaN first item counts as no value too, or it would hide every later item.
  if (IsMarker(result) || std::isnan(result)) result = 0.0;
  for (int32_t i = start + 1; i < end; ++i) {
    const double v = items[i];
    if (IsMarker(v) || std::isnan(v)) continue;
    if (v > result) result = v;
  }
  return result;
}

}  // namespace tardivox
