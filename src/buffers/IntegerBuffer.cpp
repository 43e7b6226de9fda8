#include "buffers/IntegerBuffer.h"

#include <algorithm>
#include <string>

#include "core/Exceptions.h"
#include "vector/Vector.h"

namespace tardivox {

namespace {

constexpr uint32_t kItemSize = sizeof(int32_t);

[[noreturn]] void RaiseIndex(uint32_t index) {
  throw ERangeError(FormatMessage("Index out of rabge = %u", {std::to_string(index)}));
}

}  // namespace

TSLIntegerBuffer::TSLIntegerBuffer(uint32_t count) : TSLMemoryBuffer(count, kItemSize) {}

TSLIntegerBuffer::TSLIntegerBuffer(const TSLIntegerBuffer& source)
    : TRefCounted(),
      ISLDataBuffer(),
      ISLGenericBuffer(),
      ISLIntegerBuffer(),
      TSLMemoryBuffer(source, kItemSize) {}

void TSLIntegerBuffer::CopyTo(uint32_t selfOffset, ISLDataBuffer* destination,
                              uint32_t destinationOffset, uint32_t count) {
  if (destination == nullptr) return;
  if (auto* integers = dynamic_cast<TSLIntegerBuffer*>(destination->Implementation())) {
    CopyItemsTo(selfOffset, *integers, destinationOffset, count);
  } else {
    CopyBytesTo(selfOffset, destination, destinationOffset, count);
  }
}

TRef<ISLDataBuffer> TSLIntegerBuffer::Clone() {
  return TRef<ISLDataBuffer>(new TSLIntegerBuffer(*this));
}

TRef<ISLDataBufferAccess> TSLIntegerBuffer::NewAccess() {
  return TRef<ISLDataBufferAccess>(new TSLIntegerDataBufferAccess(this));
}

int32_t TSLIntegerBuffer::GetValue(uint32_t index) {
  if (index >= Count()) RaiseIndex(index);
  return ReadData()[index];
}

void TSLIntegerBuffer::SetValue(uint32_t index, int32_t value) {
  MakeUnique(true);
  if (index >= Count()) RaiseIndex(index);
  ReadData()[index] = value;
}

void TSLIntegerBuffer::Add(ISLIntegerBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Add(reinterpret_cast<int32_t*>(p.self), reinterpret_cast<const int32_t*>(p.other), p.count);
}

void TSLIntegerBuffer::Subtract(ISLIntegerBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Subtract(reinterpret_cast<int32_t*>(p.self), reinterpret_cast<const int32_t*>(p.other),
                p.count);
}

void TSLIntegerBuffer::Multiply(ISLIntegerBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Multiply(reinterpret_cast<int32_t*>(p.self), reinterpret_cast<const int32_t*>(p.other),
                p.count);
}

void TSLIntegerBuffer::Divide(ISLIntegerBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Divide(reinterpret_cast<int32_t*>(p.self), reinterpret_cast<const int32_t*>(p.other),
              p.count);
}

void TSLIntegerBuffer::Fill(int32_t value) {
  vec::Fill(WriteData(), value, static_cast<int>(Count()));
}

void TSLIntegerBuffer::Zero() {
  vec::Zero(WriteData(), static_cast<int>(Count()));
}

int32_t TSLIntegerBuffer::Minimum() {
  const int32_t* items = ReadData();
  const uint32_t count = Count();
  return count == 0 ? 0 : *std::min_element(items, items + count);
}

int32_t TSLIntegerBuffer::Maximum() {
  const int32_t* items = ReadData();
  const uint32_t count = Count();
  return count == 0 ? 0 : *std::max_element(items, items + count);
}

}  // namespace tardivox
