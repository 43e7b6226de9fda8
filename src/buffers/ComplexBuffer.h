#pragma once
// The complex buffer: (real, imaginary) pairs of doubles on a shared memory block; its access
// object.
//
// Arithmetic with another complex buffer runs over the smaller of the two counts. Division by
// a zero item (both parts zero) gives 0 + 0i; other divisors are scaled by their larger part
// first so that neither overflows nor underflows on the way.
//
// Threads and ownership: as every buffer (DataBuffer.h).
// Failure: GetValue and SetValue raise ERangeError "Index out of rabge = %u" for an index not
// below Count (SetValue after making the block unique); blocks raise EOutOfMemory.

#include <complex>
#include <cstdint>

#include "buffers/MemoryBuffer.h"

namespace tardivox {

using TSLComplex = std::complex<double>;
static_assert(sizeof(TSLComplex) == 16, "a complex item is two doubles");

class ISLComplexDataBufferAccess;

class ISLComplexBuffer : public virtual ISLDataBuffer {
 public:
  inline static const Guid IID = Guid::FromString("{FA61019A-FF10-4472-9F8C-89DC48D5C792}");

  inline TRef<ISLComplexDataBufferAccess> GetAccess();
  TSLComplex* ReadData() { return reinterpret_cast<TSLComplex*>(ReadBytes()); }
  TSLComplex* WriteData() { return reinterpret_cast<TSLComplex*>(WriteBytes()); }
  TSLComplex* ModifyData() { return reinterpret_cast<TSLComplex*>(ModifyBytes()); }
  // Copies the 16-byte item out.
  virtual void GetValue(uint32_t index, TSLComplex* destination) = 0;
  virtual void SetValue(uint32_t index, TSLComplex value) = 0;
  virtual void Add(ISLComplexBuffer* other) = 0;
  virtual void Subtract(ISLComplexBuffer* other) = 0;
  virtual void Multiply(ISLComplexBuffer* other) = 0;
  virtual void Divide(ISLComplexBuffer* other) = 0;
  virtual void Fill(TSLComplex value) = 0;
  virtual void Zero() = 0;
};

class ISLComplexDataBufferAccess : public virtual ISLDataBufferAccess {
 public:
  TSLComplex* ReadData() { return reinterpret_cast<TSLComplex*>(ReadBytes()); }
  TSLComplex* WriteData() { return reinterpret_cast<TSLComplex*>(WriteBytes()); }
  TSLComplex* ModifyData() { return reinterpret_cast<TSLComplex*>(ModifyBytes()); }
  virtual void GetValue(uint32_t index, TSLComplex* destination) = 0;
  virtual void SetValue(uint32_t index, TSLComplex value) = 0;
  // The buffer behind other is used.
  virtual void Add(ISLComplexDataBufferAccess* other) = 0;
  virtual void Subtract(ISLComplexDataBufferAccess* other) = 0;
  virtual void Multiply(ISLComplexDataBufferAccess* other) = 0;
  virtual void Divide(ISLComplexDataBufferAccess* other) = 0;
  virtual void Fill(TSLComplex value) = 0;
  virtual void Zero() = 0;
};

inline TRef<ISLComplexDataBufferAccess> ISLComplexBuffer::GetAccess() {
  return RefCast<ISLComplexDataBufferAccess>(NewAccess());
}

class TSLComplexBuffer : public TSLMemoryBuffer, public virtual ISLComplexBuffer {
 public:
  // count items, not initialised.
  explicit TSLComplexBuffer(uint32_t count);
  // Shares source's block and stored size.
  explicit TSLComplexBuffer(const TSLComplexBuffer& source);

  const char* ClassName() const override { return "TSLComplexBuffer"; }

  TRef<ISLDataBuffer> Clone() override;
  TRef<ISLDataBufferAccess> NewAccess() override;

  TRef<ISLComplexDataBufferAccess> GetAccess() { return ISLComplexBuffer::GetAccess(); }
  using ISLComplexBuffer::ModifyData;
  using ISLComplexBuffer::ReadData;
  using ISLComplexBuffer::WriteData;
  void GetValue(uint32_t index, TSLComplex* destination) override;
  void SetValue(uint32_t index, TSLComplex value) override;
  void Add(ISLComplexBuffer* other) override;
  void Subtract(ISLComplexBuffer* other) override;
  void Multiply(ISLComplexBuffer* other) override;
  void Divide(ISLComplexBuffer* other) override;
  void Fill(TSLComplex value) override;
  void Zero() override;

 protected:
  ~TSLComplexBuffer() override = default;
};

class TSLComplexDataBufferAccess : public TSLDataBufferAccess,
                                   public virtual ISLComplexDataBufferAccess {
 public:
  explicit TSLComplexDataBufferAccess(TSLComplexBuffer* buffer) : TSLDataBufferAccess(buffer) {}

  void GetValue(uint32_t index, TSLComplex* destination) override {
    Complexes().GetValue(index, destination);
  }
  void SetValue(uint32_t index, TSLComplex value) override { Complexes().SetValue(index, value); }
  void Add(ISLComplexDataBufferAccess* other) override { Complexes().Add(&Of(other)); }
  void Subtract(ISLComplexDataBufferAccess* other) override { Complexes().Subtract(&Of(other)); }
  void Multiply(ISLComplexDataBufferAccess* other) override { Complexes().Multiply(&Of(other)); }
  void Divide(ISLComplexDataBufferAccess* other) override { Complexes().Divide(&Of(other)); }
  void Fill(TSLComplex value) override { Complexes().Fill(value); }
  void Zero() override { Complexes().Zero(); }

 private:
  TSLComplexBuffer& Complexes() const { return static_cast<TSLComplexBuffer&>(Live()); }
  static TSLComplexBuffer& Of(ISLComplexDataBufferAccess* access) {
    return static_cast<TSLComplexBuffer&>(LiveOf(access));
  }
};

}  // namespace tardivox
