#pragma once
// The data buffer interfaces shared by every buffer kind, and the base access interface.
//
// Buffers are reference-counted objects on shared blocks with copy-on-write: components hand
// them to each other by reference and a buffer's memory is copied only when a holder that
// shares it wants to write. ReadData never copies (writing through it would reach every
// sharer); WriteData and ModifyData first give the buffer a block of its own when other owners
// share it (WriteData without keeping the content, ModifyData keeping it).
//
// Threads: one thread uses a buffer object at a time; different threads may hold different
// buffer objects on one block (the block's counts are locked, its bytes are not). Reference
// counts may be changed from any thread.
//
// Typed interfaces (real, audio, …) give ReadData, WriteData, ModifyData and GetAccess typed
// results; they are thin non-virtual wrappers over the virtual byte forms declared here.

#include <cstdint>

#include "core/Guid.h"
#include "core/RefCounted.h"

namespace tardivox {

class TSLGenericBuffer;
class ISLDataBufferAccess;

// The stamp object of a buffer: a back reference to its buffer, nothing else.
class TSLSequenceStamp {
 public:
  explicit TSLSequenceStamp(TSLGenericBuffer* buffer) : buffer_(buffer) {}
  TSLSequenceStamp(const TSLSequenceStamp&) = delete;
  TSLSequenceStamp& operator=(const TSLSequenceStamp&) = delete;
  TSLGenericBuffer* Buffer() const { return buffer_; }

 private:
  TSLGenericBuffer* buffer_;
};

class ISLDataBuffer : public virtual TRefCounted {
 public:
  inline static const Guid IID = Guid::FromString("{CA519E69-AECD-43D8-89CF-3B55E15541ED}");

  // Takes over the source's block (as an owner when this buffer is one), stored size and data
  // pointer. Sharing from itself or from a buffer on the same block changes only the size.
  // A null source or one of an unsuitable kind (an audio buffer for a real buffer, …) raises
  // EConvertError "Impossible d'affecter %s à %s" and changes nothing.
  virtual void ShareFrom(ISLDataBuffer* source) = 0;
  // The object behind the interface.
  virtual TSLGenericBuffer* Implementation() = 0;

  // Byte forms of the three data pointers (see the header comment).
  virtual uint8_t* ReadBytes() = 0;
  virtual uint8_t* WriteBytes() = 0;
  virtual uint8_t* ModifyBytes() = 0;
  uint8_t* ReadData() { return ReadBytes(); }
  uint8_t* WriteData() { return WriteBytes(); }
  uint8_t* ModifyData() { return ModifyBytes(); }

  // Bytes of items (an audio buffer excludes its header).
  virtual uint32_t ByteSize() = 0;
  // Number of items (frames for an audio buffer).
  virtual uint32_t Count() = 0;
  virtual TSLSequenceStamp* SequenceStamp() = 0;
  // Copies count items from this buffer at selfOffset into destination at destinationOffset
  // (the destination is made unique, keeping its content). The range is clamped to what both
  // buffers hold: nothing outside either buffer is ever read or written.
  virtual void CopyTo(uint32_t selfOffset, ISLDataBuffer* destination, uint32_t destinationOffset,
                      uint32_t count) = 0;
  // Resizes to count items; 0 changes nothing. Shrinking keeps the block.
  virtual void SetCount(uint32_t count, bool keepContent) = 0;
  // Gives this buffer a block of its own when other owners share it; true when it had to.
  virtual bool MakeUnique(bool keepContent) = 0;
  // A new buffer object of the same class on the same block (an owner, same stored size).
  virtual TRef<ISLDataBuffer> Clone() = 0;
  // A new access object of this buffer's kind, registered with the buffer.
  virtual TRef<ISLDataBufferAccess> NewAccess() = 0;
};

// ISLDataBuffer plus GetAccess.
class ISLGenericBuffer : public virtual ISLDataBuffer {
 public:
  inline static const Guid IID = Guid::FromString("{D4612012-7681-404F-ACCB-1086DA16207B}");
  TRef<ISLDataBufferAccess> GetAccess() { return NewAccess(); }
};

// A proxy through which a buffer can be worked on without holding it. Its back reference does
// not keep the buffer alive; once the buffer is destroyed the reference is empty and every
// forwarding call raises Exception. Access objects add no locking: use one from the thread
// that uses its buffer.
class ISLDataBufferAccess : public virtual TRefCounted {
 public:
  virtual uint8_t* ReadBytes() = 0;
  virtual uint8_t* WriteBytes() = 0;
  virtual uint8_t* ModifyBytes() = 0;
  uint8_t* ReadData() { return ReadBytes(); }
  uint8_t* WriteData() { return WriteBytes(); }
  uint8_t* ModifyData() { return ModifyBytes(); }
  virtual uint32_t ByteSize() = 0;
  virtual uint32_t Count() = 0;
  // The buffer, or null once it is gone.
  virtual TRef<ISLDataBuffer> GetBuffer() = 0;
  virtual TSLSequenceStamp* SequenceStamp() = 0;
  // Copies into the buffer behind destination.
  virtual void CopyTo(uint32_t selfOffset, ISLDataBufferAccess* destination,
                      uint32_t destinationOffset, uint32_t count) = 0;
  // Does nothing when count equals the current count.
  virtual void SetCount(uint32_t count, bool keepContent) = 0;
  virtual bool MakeUnique(bool keepContent) = 0;
  virtual TRef<ISLDataBuffer> Clone() = 0;
};

}  // namespace tardivox
