#pragma once
// The buffer object base: holds a shared block and implements the copy-on-write rules that
// every buffer kind shares; and the base access object.
//
// A buffer holds its block as an owner from construction (DropOwnership turns it into a
// plain holder that keeps the block alive without counting against its uniqueness).
// Uniqueness counts owners only. MakeUnique gives the buffer a block of its own when the block
// has other owners: a clone of the block (content copied when asked), attached with the
// buffer's owner flag, after which the old block is detached. The stored size is unchanged.
//
// In this base Count and ByteSize are the stored size in bytes, SetCount does nothing and
// CopyTo is a byte copy; the typed buffers and the audio buffer replace these.
//
// Memory: buffer objects live in block store memory (TSLBlockStoreObject). Destruction
// detaches every access object still registered and then the block.
//
// Threads: one thread uses a buffer object at a time (see DataBuffer.h). The list of access
// objects is changed only by that thread.
//
// Failure: block creation raises EOutOfMemory (see SmartBuffer.h); the buffer is then
// unchanged. Construction from an interface whose object is of an unsuitable kind raises
// EConvertError with "Impossible d'affecter %s à %s".

#include <cstdint>
#include <vector>

#include "buffers/AssignError.h"
#include "buffers/DataBuffer.h"
#include "buffers/SmartBuffer.h"
#include "buffers/SmartBufferManager.h"

namespace tardivox {

class TSLDataBufferAccess;

class TSLGenericBuffer : public TSLBlockStoreObject, public virtual ISLGenericBuffer {
 public:
  // A buffer on block (attached as owner) with storedSize bytes; its items start at the
  // block's data area.
  TSLGenericBuffer(TSLSmartBuffer* block, uint32_t storedSize);
  // Shares source's block, stored size and data pointer, as an owner.
  explicit TSLGenericBuffer(const TSLGenericBuffer& source);
  TSLGenericBuffer& operator=(const TSLGenericBuffer&) = delete;

  virtual const char* ClassName() const { return "TSLGenericBuffer"; }

  // ISLDataBuffer
  void ShareFrom(ISLDataBuffer* source) override;
  TSLGenericBuffer* Implementation() override { return this; }
  uint8_t* ReadBytes() override { return data_; }
  uint8_t* WriteBytes() override;
  uint8_t* ModifyBytes() override;
  uint32_t ByteSize() override { return storedSize_; }
  uint32_t Count() override { return storedSize_; }
  TSLSequenceStamp* SequenceStamp() override { return &stamp_; }
  void CopyTo(uint32_t selfOffset, ISLDataBuffer* destination, uint32_t destinationOffset,
              uint32_t count) override;
  void SetCount(uint32_t, bool) override {}
  bool MakeUnique(bool keepContent) override;
  TRef<ISLDataBuffer> Clone() override;
  TRef<ISLDataBufferAccess> NewAccess() override;

  // Called after the block changed (construction, MakeUnique, ShareFrom, SetCount): derived
  // kinds re-read what they cache from it. The base does nothing.
  virtual void BlockChanged() {}
  // Whether this buffer can take over source's block: the source lays out its items the way
  // this kind expects (ShareFrom and the sharing constructors check it). The base accepts
  // buffers whose items start at their block's data area.
  virtual bool AcceptsBlockOf(const TSLGenericBuffer& source) const;
  // If this buffer is an owner, drops the owner claim on its block.
  void DropOwnership();

  TSLSmartBuffer* Block() const { return block_; }
  bool IsOwner() const { return owner_; }
  uint32_t StoredSize() const { return storedSize_; }

  // Access object registry (used by TSLDataBufferAccess).
  void RegisterAccess(TSLDataBufferAccess* access);
  void UnregisterAccess(TSLDataBufferAccess* access);

 protected:
  ~TSLGenericBuffer() override;

  void SetBlock(TSLSmartBuffer* block) { block_ = block; }
  void SetStoredSize(uint32_t bytes) { storedSize_ = bytes; }
  void SetDataPointer(uint8_t* data) { data_ = data; }
  // Replaces the block by newBlock (attached with the owner flag) and detaches the old one;
  // copies the lesser of the two allocated sizes first when keepContent.
  void ReplaceBlock(TSLSmartBuffer* newBlock, bool keepContent);
  // Byte copy clamped to both buffers' byte sizes.
  void CopyBytesTo(uint32_t selfOffsetBytes, ISLDataBuffer* destination,
                   uint32_t destinationOffsetBytes, uint32_t countBytes);

 private:
  std::vector<TSLDataBufferAccess*> accesses_;
  TSLSequenceStamp stamp_{this};
  uint8_t* data_ = nullptr;
  uint32_t storedSize_ = 0;
  TSLSmartBuffer* block_ = nullptr;
  bool owner_ = true;
};

// The base access object: forwards every call to its buffer while the buffer lives.
class TSLDataBufferAccess : public virtual ISLDataBufferAccess {
 public:
  explicit TSLDataBufferAccess(TSLGenericBuffer* buffer);
  ~TSLDataBufferAccess() override;

  // The buffer, or nullptr once it is gone.
  TSLGenericBuffer* Buffer() const { return buffer_; }
  // Called by the buffer when it is destroyed.
  void BufferGone() { buffer_ = nullptr; }

  uint8_t* ReadBytes() override;
  uint8_t* WriteBytes() override;
  uint8_t* ModifyBytes() override;
  uint32_t ByteSize() override;
  uint32_t Count() override;
  TRef<ISLDataBuffer> GetBuffer() override;
  TSLSequenceStamp* SequenceStamp() override;
  void CopyTo(uint32_t selfOffset, ISLDataBufferAccess* destination, uint32_t destinationOffset,
              uint32_t count) override;
  void SetCount(uint32_t count, bool keepContent) override;
  bool MakeUnique(bool keepContent) override;
  TRef<ISLDataBuffer> Clone() override;

 protected:
  // The buffer; raises Exception when it is gone.
  TSLGenericBuffer& Live() const;
  // The buffer behind another access object (raises when it is null or its buffer is gone).
  static TSLGenericBuffer& LiveOf(ISLDataBufferAccess* access);

 private:
  TSLGenericBuffer* buffer_;
};

}  // namespace tardivox
