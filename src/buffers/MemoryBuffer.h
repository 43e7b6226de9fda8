#pragma once
// The memory buffer: the base of the typed buffers (real, integer, complex, byte). Its block
// is a memory block, its items start at the block's data area and its stored size is the
// byte size of its items. Contract otherwise as TSLGenericBuffer (GenericBuffer.h).
//
// SetCount: 0 or the current count changes nothing; shrinking only lowers the count (the
// block is kept, shared or not); growing reuses the block when it is unique and large
// enough, and otherwise moves to a new block (copying the old content when asked).

#include <cstdint>

#include "buffers/GenericBuffer.h"

namespace tardivox {

class TSLMemoryBuffer : public TSLGenericBuffer {
 public:
  const char* ClassName() const override { return "TSLMemoryBuffer"; }

  uint32_t ByteSize() override { return StoredSize(); }
  uint32_t Count() override { return StoredSize() / itemSize_; }
  void SetCount(uint32_t count, bool keepContent) override;
  void BlockChanged() override { SetDataPointer(Block()->Data()); }
  // Any memory buffer's block will do (its bytes are read as this kind's items).
  bool AcceptsBlockOf(const TSLGenericBuffer& source) const override;

  // A new memory block for count items. Raises EOutOfMemory above 2^30 bytes.
  virtual TSLSmartBuffer* NewBlock(uint32_t count);
  virtual uint32_t ItemSize() const { return itemSize_; }

 protected:
  // A new block for count items of itemSize bytes; the items are not initialised.
  TSLMemoryBuffer(uint32_t count, uint32_t itemSize);
  // Shares source's block and stored size.
  TSLMemoryBuffer(const TSLMemoryBuffer& source, uint32_t itemSize);
  ~TSLMemoryBuffer() override = default;

  // The memory buffer behind source for a sharing constructor of targetClass; raises
  // EConvertError "Impossible d'affecter %s à %s" when it is null or not a memory buffer.
  static const TSLMemoryBuffer& MemorySource(ISLDataBuffer* source, const char* targetClass);

  // For an in-place operation with other over the smaller of the two counts: this buffer's
  // items made unique (content kept), then other's items. count is 0 when other is null.
  struct Operands {
    uint8_t* self;
    const uint8_t* other;
    int count;
  };
  Operands PrepareOperands(ISLDataBuffer* other);
  // Copies count items to a destination of the same item type, clamped to both buffers.
  void CopyItemsTo(uint32_t selfOffset, TSLMemoryBuffer& destination, uint32_t destinationOffset,
                   uint32_t count);

 private:
  uint32_t itemSize_;
};

}  // namespace tardivox
