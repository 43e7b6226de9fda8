#include "buffers/ComplexBuffer.h"

#include <string>

#include "core/Exceptions.h"
#include "vector/Vector.h"

namespace tardivox {

namespace {

constexpr uint32_t kItemSize = sizeof(TSLComplex);

[[noreturn]] void RaiseIndex(uint32_t index) {
  throw ERangeError(FormatMessage("Index out of rabge = %u", {std::to_string(index)}));
}

TSLComplex* Items(uint8_t* bytes) {
  return reinterpret_cast<TSLComplex*>(bytes);
}
const TSLComplex* Items(const uint8_t* bytes) {
  return reinterpret_cast<const TSLComplex*>(bytes);
}

}  // namespace

TSLComplexBuffer::TSLComplexBuffer(uint32_t count) : TSLMemoryBuffer(count, kItemSize) {}

TSLComplexBuffer::TSLComplexBuffer(const TSLComplexBuffer& source)
    : TRefCounted(),
      ISLDataBuffer(),
      ISLGenericBuffer(),
      ISLComplexBuffer(),
      TSLMemoryBuffer(source, kItemSize) {}

TRef<ISLDataBuffer> TSLComplexBuffer::Clone() {
  return TRef<ISLDataBuffer>(new TSLComplexBuffer(*this));
}

TRef<ISLDataBufferAccess> TSLComplexBuffer::NewAccess() {
  return TRef<ISLDataBufferAccess>(new TSLComplexDataBufferAccess(this));
}

void TSLComplexBuffer::GetValue(uint32_t index, TSLComplex* destination) {
  if (index >= Count()) RaiseIndex(index);
  if (destination != nullptr) *destination = ReadData()[index];
}

void TSLComplexBuffer::SetValue(uint32_t index, TSLComplex value) {
  MakeUnique(true);
  if (index >= Count()) RaiseIndex(index);
  ReadData()[index] = value;
}

void TSLComplexBuffer::Add(ISLComplexBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Add(Items(p.self), Items(p.other), p.count);
}

void TSLComplexBuffer::Subtract(ISLComplexBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Subtract(Items(p.self), Items(p.other), p.count);
}

void TSLComplexBuffer::Multiply(ISLComplexBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Multiply(Items(p.self), Items(p.other), p.count);
}

void TSLComplexBuffer::Divide(ISLComplexBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Divide(Items(p.self), Items(p.other), p.count);
}

void TSLComplexBuffer::Fill(TSLComplex value) {
  vec::Fill(WriteData(), value, static_cast<int>(Count()));
}

void TSLComplexBuffer::Zero() {
  vec::Zero(WriteData(), static_cast<int>(Count()));
}

}  // namespace tardivox
