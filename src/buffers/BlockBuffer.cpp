#include "buffers/BlockBuffer.h"

#include "vector/Vector.h"

namespace tardivox {

TSLBlockBuffer::TSLBlockBuffer(uint32_t count) : TSLMemoryBuffer(count, 1) {}

TSLBlockBuffer::TSLBlockBuffer(const TSLBlockBuffer& source)
    : TRefCounted(),
      ISLDataBuffer(),
      ISLGenericBuffer(),
      ISLBlockBuffer(),
      TSLMemoryBuffer(source, 1) {}

TRef<ISLDataBuffer> TSLBlockBuffer::Clone() {
  return TRef<ISLDataBuffer>(new TSLBlockBuffer(*this));
}

TRef<ISLDataBufferAccess> TSLBlockBuffer::NewAccess() {
  return TRef<ISLDataBufferAccess>(new TSLBlockDataBufferAccess(this));
}

void TSLBlockBuffer::Add(ISLBlockBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Add(p.self, p.other, p.count);
}

void TSLBlockBuffer::Subtract(ISLBlockBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Subtract(p.self, p.other, p.count);
}

void TSLBlockBuffer::Multiply(ISLBlockBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Multiply(p.self, p.other, p.count);
}

void TSLBlockBuffer::Divide(ISLBlockBuffer* other) {
  const Operands p = PrepareOperands(other);
  vec::Divide(p.self, p.other, p.count);
}

void TSLBlockBuffer::Fill(uint8_t value) {
  vec::Fill(WriteData(), value, static_cast<int>(Count()));
}

void TSLBlockBuffer::Zero() {
  vec::Zero(WriteData(), static_cast<int>(Count()));
}

}  // namespace tardivox
