#pragma once
// Shared blocks: the memory that buffer objects share by reference (copy-on-write).
//
// A block counts its holders (buffer objects that hold it) and, among them, its owners
// (holders that may write into it). Both counts change only under the block's own lock, so
// buffer objects on different threads may attach to and detach from one block concurrently.
// A block is created with both counts at 0 and destroys itself in the Detach that takes its
// holder count from 1 to 0; its data area then goes back to the block store. The bytes of a
// block are not locked: a writer first makes its block unique (see TSLGenericBuffer).
//
// Every block owns one 32-byte aligned data area from the block store, of its allocated size:
// the size class (a power of two) of the requested size. The block objects themselves also
// live in block store memory (TSLBlockStoreObject), zero-filled before construction.
//
// Failure: a request above 2^30 bytes, or one the heap cannot serve, raises EOutOfMemory from
// the constructor; no block ever exists without its data area.

#include <cstdint>
#include <mutex>

#include "buffers/SmartBufferManager.h"
#include "buffers/WaveFormat.h"

namespace tardivox {

class TSLSmartBuffer : public TSLBlockStoreObject {
 public:
  TSLSmartBuffer(const TSLSmartBuffer&) = delete;
  TSLSmartBuffer& operator=(const TSLSmartBuffer&) = delete;

  // Holder count + 1, and owner count + 1 when asOwner.
  virtual void Attach(bool asOwner);
  // Owner count − 1 when asOwner (not below 0); holder count − 1 (not below 0). The block is
  // destroyed when the holder count reaches 0: the caller must not touch it afterwards.
  virtual void Detach(bool asOwner);
  // Owner count − 1 (not below 0).
  virtual void DropOwner();
  // True when the block has at most one owner (non-owner holders do not count).
  virtual bool IsUnique();
  // A new block of the same class and allocated size, both counts 0; the content is copied
  // when copyContent. The caller attaches to it.
  virtual TSLSmartBuffer* CloneBlock(bool copyContent) = 0;

  uint8_t* Data() const { return data_; }
  uint32_t AllocatedSize() const { return allocatedSize_; }
  int32_t OwnerCount();
  int32_t HolderCount();

 protected:
  // Takes an area of the size class of requestedBytes from the block store.
  explicit TSLSmartBuffer(uint64_t requestedBytes);
  // Returns the area to the block store.
  virtual ~TSLSmartBuffer();

 private:
  std::mutex lock_;
  int32_t owners_ = 0;   // guarded by lock_
  int32_t holders_ = 0;  // guarded by lock_
  uint32_t allocatedSize_ = 0;
  uint8_t* data_ = nullptr;
};

// The block of the typed memory buffers. CloneBlock copies the whole area when asked.
class TSLSmartMemoryBuffer : public TSLSmartBuffer {
 public:
  explicit TSLSmartMemoryBuffer(uint64_t requestedBytes) : TSLSmartBuffer(requestedBytes) {}
  TSLSmartBuffer* CloneBlock(bool copyContent) override;
};

// The block of media buffers.
class TMLSmartMediaBuffer : public TSLSmartBuffer {
 protected:
  using TSLSmartBuffer::TSLSmartBuffer;
};

// The block of an audio buffer: the 40-byte WaveFormat header, then the interleaved frames.
// CloneBlock always carries the header over, so a clone keeps its format even when the
// content is not copied.
class TALSmartAudioBuffer : public TMLSmartMediaBuffer {
 public:
  // The block is never smaller than its header.
  explicit TALSmartAudioBuffer(uint64_t requestedBytes)
      : TMLSmartMediaBuffer(requestedBytes < kWaveFormatSize ? kWaveFormatSize : requestedBytes) {}
  TSLSmartBuffer* CloneBlock(bool copyContent) override;

  WaveFormat* Header() const { return reinterpret_cast<WaveFormat*>(Data()); }
};

}  // namespace tardivox
