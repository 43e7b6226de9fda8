#include "buffers/MemoryBuffer.h"

#include <algorithm>

#include "vector/Vector.h"

namespace tardivox {

namespace {

uint64_t ItemBytes(uint32_t count, uint32_t itemSize) {
  return uint64_t{count} * itemSize;
}

}  // namespace

TSLMemoryBuffer::TSLMemoryBuffer(uint32_t count, uint32_t itemSize)
    : TSLGenericBuffer(new TSLSmartMemoryBuffer(ItemBytes(count, itemSize)),
                       static_cast<uint32_t>(ItemBytes(count, itemSize))),
      itemSize_(itemSize) {}

TSLMemoryBuffer::TSLMemoryBuffer(const TSLMemoryBuffer& source, uint32_t itemSize)
    : TSLGenericBuffer(source), itemSize_(itemSize) {}

bool TSLMemoryBuffer::AcceptsBlockOf(const TSLGenericBuffer& source) const {
  return dynamic_cast<const TSLMemoryBuffer*>(&source) != nullptr;
}

const TSLMemoryBuffer& TSLMemoryBuffer::MemorySource(ISLDataBuffer* source,
                                                     const char* targetClass) {
  if (source == nullptr) RaiseAssignError(nullptr, targetClass);
  TSLGenericBuffer* object = source->Implementation();
  auto* memory = dynamic_cast<TSLMemoryBuffer*>(object);
  if (memory == nullptr) RaiseAssignError(object->ClassName(), targetClass);
  return *memory;
}

TSLSmartBuffer* TSLMemoryBuffer::NewBlock(uint32_t count) {
  return new TSLSmartMemoryBuffer(ItemBytes(count, itemSize_));
}

void TSLMemoryBuffer::SetCount(uint32_t count, bool keepContent) {
  const uint32_t current = Count();
  if (count == 0 || count == current) return;
  const uint64_t bytes = ItemBytes(count, itemSize_);
  if (count < current || (Block()->IsUnique() && Block()->AllocatedSize() / itemSize_ >= count)) {
    SetStoredSize(static_cast<uint32_t>(bytes));
    BlockChanged();
    return;
  }
  ReplaceBlock(NewBlock(count), keepContent);
  SetStoredSize(static_cast<uint32_t>(bytes));
  BlockChanged();
}

TSLMemoryBuffer::Operands TSLMemoryBuffer::PrepareOperands(ISLDataBuffer* other) {
  if (other == nullptr) return {nullptr, nullptr, 0};
  const uint32_t count = std::min(Count(), other->Count());
  if (count == 0) return {nullptr, nullptr, 0};
  // This buffer first: when other is this very buffer, making it unique may move the data.
  uint8_t* self = ModifyData();
  return {self, other->ReadData(), static_cast<int>(count)};
}

void TSLMemoryBuffer::CopyItemsTo(uint32_t selfOffset, TSLMemoryBuffer& destination,
                                  uint32_t destinationOffset, uint32_t count) {
  const uint32_t selfCount = Count();
  const uint32_t destinationCount = destination.Count();
  if (selfOffset >= selfCount || destinationOffset >= destinationCount) return;
  count = std::min({count, selfCount - selfOffset, destinationCount - destinationOffset});
  if (count == 0) return;
  uint8_t* to = destination.ModifyData() + std::size_t{destinationOffset} * itemSize_;
  const uint8_t* from = ReadData() + std::size_t{selfOffset} * itemSize_;
  vec::Copy(to, from, static_cast<int>(std::size_t{count} * itemSize_));
}

}  // namespace tardivox
