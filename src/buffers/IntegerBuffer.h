#pragma once
// The integer buffer: signed 32-bit integers on a shared memory block; its access object.
//
// Arithmetic with another integer buffer runs over the smaller of the two counts, computes in
// 64 bits and saturates each result to the signed 32-bit range. Divide truncates towards zero;
// a zero divisor gives INT32_MAX for a positive dividend, INT32_MIN for a negative one and 0
// for 0 (INT32_MIN / −1 saturates to INT32_MAX).
//
// Threads and ownership: as every buffer (DataBuffer.h).
// Failure: GetValue and SetValue raise ERangeError "Index out of rabge = %u" for an index not
// below Count (SetValue after making the block unique); blocks raise EOutOfMemory.

#include <cstdint>

#include "buffers/MemoryBuffer.h"

namespace tardivox {

class ISLIntegerDataBufferAccess;

class ISLIntegerBuffer : public virtual ISLDataBuffer {
 public:
  inline static const Guid IID = Guid::FromString("{51D45274-AF18-4746-BBF1-94C82F07139B}");

  inline TRef<ISLIntegerDataBufferAccess> GetAccess();
  int32_t* ReadData() { return reinterpret_cast<int32_t*>(ReadBytes()); }
  int32_t* WriteData() { return reinterpret_cast<int32_t*>(WriteBytes()); }
  int32_t* ModifyData() { return reinterpret_cast<int32_t*>(ModifyBytes()); }
  virtual int32_t GetValue(uint32_t index) = 0;
  virtual void SetValue(uint32_t index, int32_t value) = 0;
  virtual void Add(ISLIntegerBuffer* other) = 0;
  virtual void Subtract(ISLIntegerBuffer* other) = 0;
  virtual void Multiply(ISLIntegerBuffer* other) = 0;
  virtual void Divide(ISLIntegerBuffer* other) = 0;
  virtual void Fill(int32_t value) = 0;
  virtual void Zero() = 0;
  // Smallest / largest item; 0 when empty.
  virtual int32_t Minimum() = 0;
  virtual int32_t Maximum() = 0;
};

class ISLIntegerDataBufferAccess : public virtual ISLDataBufferAccess {
 public:
  int32_t* ReadData() { return reinterpret_cast<int32_t*>(ReadBytes()); }
  int32_t* WriteData() { return reinterpret_cast<int32_t*>(WriteBytes()); }
  int32_t* ModifyData() { return reinterpret_cast<int32_t*>(ModifyBytes()); }
  virtual int32_t GetValue(uint32_t index) = 0;
  virtual void SetValue(uint32_t index, int32_t value) = 0;
  // The buffer behind other is used.
  virtual void Add(ISLIntegerDataBufferAccess* other) = 0;
  virtual void Subtract(ISLIntegerDataBufferAccess* other) = 0;
  virtual void Multiply(ISLIntegerDataBufferAccess* other) = 0;
  virtual void Divide(ISLIntegerDataBufferAccess* other) = 0;
  virtual void Fill(int32_t value) = 0;
  virtual void Zero() = 0;
};

inline TRef<ISLIntegerDataBufferAccess> ISLIntegerBuffer::GetAccess() {
  return RefCast<ISLIntegerDataBufferAccess>(NewAccess());
}

class TSLIntegerBuffer : public TSLMemoryBuffer, public virtual ISLIntegerBuffer {
 public:
  // count items, not initialised.
  explicit TSLIntegerBuffer(uint32_t count);
  // Shares source's block and stored size.
  explicit TSLIntegerBuffer(const TSLIntegerBuffer& source);

  const char* ClassName() const override { return "TSLIntegerBuffer"; }

  void CopyTo(uint32_t selfOffset, ISLDataBuffer* destination, uint32_t destinationOffset,
              uint32_t count) override;
  TRef<ISLDataBuffer> Clone() override;
  TRef<ISLDataBufferAccess> NewAccess() override;

  TRef<ISLIntegerDataBufferAccess> GetAccess() { return ISLIntegerBuffer::GetAccess(); }
  using ISLIntegerBuffer::ModifyData;
  using ISLIntegerBuffer::ReadData;
  using ISLIntegerBuffer::WriteData;
  int32_t GetValue(uint32_t index) override;
  void SetValue(uint32_t index, int32_t value) override;
  void Add(ISLIntegerBuffer* other) override;
  void Subtract(ISLIntegerBuffer* other) override;
  void Multiply(ISLIntegerBuffer* other) override;
  void Divide(ISLIntegerBuffer* other) override;
  void Fill(int32_t value) override;
  void Zero() override;
  int32_t Minimum() override;
  int32_t Maximum() override;

 protected:
  ~TSLIntegerBuffer() override = default;
};

class TSLIntegerDataBufferAccess : public TSLDataBufferAccess,
                                   public virtual ISLIntegerDataBufferAccess {
 public:
  explicit TSLIntegerDataBufferAccess(TSLIntegerBuffer* buffer) : TSLDataBufferAccess(buffer) {}

  int32_t GetValue(uint32_t index) override { return Integers().GetValue(index); }
  void SetValue(uint32_t index, int32_t value) override { Integers().SetValue(index, value); }
  void Add(ISLIntegerDataBufferAccess* other) override { Integers().Add(&Of(other)); }
  void Subtract(ISLIntegerDataBufferAccess* other) override { Integers().Subtract(&Of(other)); }
  void Multiply(ISLIntegerDataBufferAccess* other) override { Integers().Multiply(&Of(other)); }
  void Divide(ISLIntegerDataBufferAccess* other) override { Integers().Divide(&Of(other)); }
  void Fill(int32_t value) override { Integers().Fill(value); }
  void Zero() override { Integers().Zero(); }

 private:
  TSLIntegerBuffer& Integers() const { return static_cast<TSLIntegerBuffer&>(Live()); }
  static TSLIntegerBuffer& Of(ISLIntegerDataBufferAccess* access) {
    return static_cast<TSLIntegerBuffer&>(LiveOf(access));
  }
};

}  // namespace tardivox
