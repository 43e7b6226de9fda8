#pragma once
// The byte buffer: unsigned bytes on a shared memory block; its access object.
//
// Add, Subtract and Multiply with another byte buffer saturate each result to 0 … 255 and
// Divide is the unsigned quotient; all run over the smaller of the two counts. A zero divisor
// gives 255 for a non-zero dividend and 0 for 0.
//
// Threads and ownership: as every buffer (DataBuffer.h). Failure: blocks raise EOutOfMemory.

#include <cstdint>

#include "buffers/MemoryBuffer.h"

namespace tardivox {

class ISLBlockDataBufferAccess;

class ISLBlockBuffer : public virtual ISLDataBuffer {
 public:
  inline static const Guid IID = Guid::FromString("{1D7F6725-9466-43E9-9B6C-164FAB691FEA}");

  inline TRef<ISLBlockDataBufferAccess> GetAccess();
  virtual void Add(ISLBlockBuffer* other) = 0;
  virtual void Subtract(ISLBlockBuffer* other) = 0;
  virtual void Multiply(ISLBlockBuffer* other) = 0;
  virtual void Divide(ISLBlockBuffer* other) = 0;
  virtual void Fill(uint8_t value) = 0;
  virtual void Zero() = 0;
};

class ISLBlockDataBufferAccess : public virtual ISLDataBufferAccess {
 public:
  // The buffer behind other is used.
  virtual void Add(ISLBlockDataBufferAccess* other) = 0;
  virtual void Subtract(ISLBlockDataBufferAccess* other) = 0;
  virtual void Multiply(ISLBlockDataBufferAccess* other) = 0;
  virtual void Divide(ISLBlockDataBufferAccess* other) = 0;
  virtual void Fill(uint8_t value) = 0;
  virtual void Zero() = 0;
};

inline TRef<ISLBlockDataBufferAccess> ISLBlockBuffer::GetAccess() {
  return RefCast<ISLBlockDataBufferAccess>(NewAccess());
}

class TSLBlockBuffer : public TSLMemoryBuffer, public virtual ISLBlockBuffer {
 public:
  // count bytes, not initialised.
  explicit TSLBlockBuffer(uint32_t count);
  // Shares source's block and stored size.
  explicit TSLBlockBuffer(const TSLBlockBuffer& source);

  const char* ClassName() const override { return "TSLBlockBuffer"; }

  TRef<ISLDataBuffer> Clone() override;
  TRef<ISLDataBufferAccess> NewAccess() override;

  TRef<ISLBlockDataBufferAccess> GetAccess() { return ISLBlockBuffer::GetAccess(); }
  void Add(ISLBlockBuffer* other) override;
  void Subtract(ISLBlockBuffer* other) override;
  void Multiply(ISLBlockBuffer* other) override;
  void Divide(ISLBlockBuffer* other) override;
  void Fill(uint8_t value) override;
  void Zero() override;

 protected:
  ~TSLBlockBuffer() override = default;
};

class TSLBlockDataBufferAccess : public TSLDataBufferAccess,
                                 public virtual ISLBlockDataBufferAccess {
 public:
  explicit TSLBlockDataBufferAccess(TSLBlockBuffer* buffer) : TSLDataBufferAccess(buffer) {}

  void Add(ISLBlockDataBufferAccess* other) override { Bytes().Add(&Of(other)); }
  void Subtract(ISLBlockDataBufferAccess* other) override { Bytes().Subtract(&Of(other)); }
  void Multiply(ISLBlockDataBufferAccess* other) override { Bytes().Multiply(&Of(other)); }
  void Divide(ISLBlockDataBufferAccess* other) override { Bytes().Divide(&Of(other)); }
  void Fill(uint8_t value) override { Bytes().Fill(value); }
  void Zero() override { Bytes().Zero(); }

 private:
  TSLBlockBuffer& Bytes() const { return static_cast<TSLBlockBuffer&>(Live()); }
  static TSLBlockBuffer& Of(ISLBlockDataBufferAccess* access) {
    return static_cast<TSLBlockBuffer&>(LiveOf(access));
  }
};

}  // namespace tardivox
