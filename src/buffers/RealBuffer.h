#pragma once
// The real buffer: doubles on a shared memory block, the stream type between the audio-to-real
// splitters, the adders and the waterfall displays; its access object.
//
// Arithmetic with another real buffer runs over the smaller of the two counts (items of this
// buffer beyond the other's count are left as they were), writes through ModifyData and reads
// the other through ReadData. Divide replaces, when some divisor is zero, each quotient whose
// divisor is zero or not a number by 1.0e15 when it is above 0 and by −1.0e14 otherwise.
//
// Markers: ±kNoValueMarker (1.7e308) mark items that carry no value; MinimumOfValid and
// MaximumOfValid skip them (and NaN items).
//
// Ranges: start and end are signed item indices, end excluded; a negative start or end
// becomes 0, an end above Count becomes Count, a start not below Count becomes Count − 1.
// A range that is empty after that gives 0.0 (never a read outside the buffer).
//
// Threads and ownership: as every buffer (DataBuffer.h).
// Failure: GetValue and SetValue raise ERangeError "Index out of rabge = %u" (SetValue after
// making the block unique); blocks raise EOutOfMemory.

#include <cstdint>

#include "buffers/MemoryBuffer.h"

namespace tardivox {

inline constexpr double kNoValueMarker = 1.7e308;

class ISLRealDataBufferAccess;

class ISLRealBuffer : public virtual ISLDataBuffer {
 public:
  inline static const Guid IID = Guid::FromString("{032C61EC-364E-4739-A2FE-E7DA0BA64939}");

  inline TRef<ISLRealDataBufferAccess> GetAccess();
  double* ReadData() { return reinterpret_cast<double*>(ReadBytes()); }
  double* WriteData() { return reinterpret_cast<double*>(WriteBytes()); }
  double* ModifyData() { return reinterpret_cast<double*>(ModifyBytes()); }
  virtual double GetValue(uint32_t index) = 0;
  virtual void SetValue(uint32_t index, double value) = 0;
  // item n = magnitude × sin(π n² / (2 Count)); one item becomes the magnitude; a negative
  // magnitude changes nothing.
  virtual void FillJaehne(double magnitude) = 0;
  virtual void Add(ISLRealBuffer* other) = 0;
  virtual void Subtract(ISLRealBuffer* other) = 0;
  virtual void Multiply(ISLRealBuffer* other) = 0;
  virtual void Divide(ISLRealBuffer* other) = 0;
  virtual void Fill(double value) = 0;
  virtual void Zero() = 0;
  // Smallest / largest item; 0.0 when empty.
  virtual double Minimum() = 0;
  virtual double Maximum() = 0;
  virtual double MinimumInRange(int32_t start, int32_t end) = 0;
  virtual double MaximumInRange(int32_t start, int32_t end) = 0;
  virtual double MinimumOfValid(int32_t start, int32_t end) = 0;
  virtual double MaximumOfValid(int32_t start, int32_t end) = 0;
};

class ISLRealDataBufferAccess : public virtual ISLDataBufferAccess {
 public:
  double* ReadData() { return reinterpret_cast<double*>(ReadBytes()); }
  double* WriteData() { return reinterpret_cast<double*>(WriteBytes()); }
  double* ModifyData() { return reinterpret_cast<double*>(ModifyBytes()); }
  virtual double GetValue(uint32_t index) = 0;
  virtual void SetValue(uint32_t index, double value) = 0;
  virtual void FillJaehne(double magnitude) = 0;
  // The buffer behind other is used.
  virtual void Add(ISLRealDataBufferAccess* other) = 0;
  virtual void Subtract(ISLRealDataBufferAccess* other) = 0;
  virtual void Multiply(ISLRealDataBufferAccess* other) = 0;
  virtual void Divide(ISLRealDataBufferAccess* other) = 0;
  virtual void Fill(double value) = 0;
  virtual void Zero() = 0;
  virtual double Minimum() = 0;
  virtual double Maximum() = 0;
  virtual double MinimumInRange(int32_t start, int32_t end) = 0;
  virtual double MaximumInRange(int32_t start, int32_t end) = 0;
};

inline TRef<ISLRealDataBufferAccess> ISLRealBuffer::GetAccess() {
  return RefCast<ISLRealDataBufferAccess>(NewAccess());
}

class TSLRealBuffer : public TSLMemoryBuffer, public virtual ISLRealBuffer {
 public:
  // count items, not initialised.
  explicit TSLRealBuffer(uint32_t count);
  // count items converted from signed 32-bit integers.
  TSLRealBuffer(const int32_t* values, uint32_t count);
  // Shares source's block and stored size.
  explicit TSLRealBuffer(const TSLRealBuffer& source);
  // Shares the block and stored size of the memory buffer behind source; raises EConvertError
  // when it is null or not a memory buffer.
  explicit TSLRealBuffer(ISLDataBuffer* source);

  const char* ClassName() const override { return "TSLRealBuffer"; }

  void CopyTo(uint32_t selfOffset, ISLDataBuffer* destination, uint32_t destinationOffset,
              uint32_t count) override;
  TRef<ISLDataBuffer> Clone() override;
  TRef<ISLDataBufferAccess> NewAccess() override;

  TRef<ISLRealDataBufferAccess> GetAccess() { return ISLRealBuffer::GetAccess(); }
  using ISLRealBuffer::ModifyData;
  using ISLRealBuffer::ReadData;
  using ISLRealBuffer::WriteData;
  double GetValue(uint32_t index) override;
  void SetValue(uint32_t index, double value) override;
  void FillJaehne(double magnitude) override;
  void Add(ISLRealBuffer* other) override;
  void Subtract(ISLRealBuffer* other) override;
  void Multiply(ISLRealBuffer* other) override;
  void Divide(ISLRealBuffer* other) override;
  void Fill(double value) override;
  void Zero() override;
  double Minimum() override;
  double Maximum() override;
  double MinimumInRange(int32_t start, int32_t end) override;
  double MaximumInRange(int32_t start, int32_t end) override;
  double MinimumOfValid(int32_t start, int32_t end) override;
  double MaximumOfValid(int32_t start, int32_t end) override;

 protected:
  ~TSLRealBuffer() override = default;

 private:
  // The clamped range [start, end); empty when start >= end.
  void ClampRange(int32_t& start, int32_t& end);
};

class TSLRealDataBufferAccess : public TSLDataBufferAccess, public virtual ISLRealDataBufferAccess {
 public:
  explicit TSLRealDataBufferAccess(TSLRealBuffer* buffer) : TSLDataBufferAccess(buffer) {}

  double GetValue(uint32_t index) override { return Real().GetValue(index); }
  void SetValue(uint32_t index, double value) override { Real().SetValue(index, value); }
  void FillJaehne(double magnitude) override { Real().FillJaehne(magnitude); }
  void Add(ISLRealDataBufferAccess* other) override { Real().Add(&RealOf(other)); }
  void Subtract(ISLRealDataBufferAccess* other) override { Real().Subtract(&RealOf(other)); }
  void Multiply(ISLRealDataBufferAccess* other) override { Real().Multiply(&RealOf(other)); }
  void Divide(ISLRealDataBufferAccess* other) override { Real().Divide(&RealOf(other)); }
  void Fill(double value) override { Real().Fill(value); }
  void Zero() override { Real().Zero(); }
  double Minimum() override { return Real().Minimum(); }
  double Maximum() override { return Real().Maximum(); }
  double MinimumInRange(int32_t start, int32_t end) override {
    return Real().MinimumInRange(start, end);
  }
  double MaximumInRange(int32_t start, int32_t end) override {
    return Real().MaximumInRange(start, end);
  }

 private:
  TSLRealBuffer& Real() const { return static_cast<TSLRealBuffer&>(Live()); }
  static TSLRealBuffer& RealOf(ISLRealDataBufferAccess* access) {
    return static_cast<TSLRealBuffer&>(LiveOf(access));
  }
};

}  // namespace tardivox
