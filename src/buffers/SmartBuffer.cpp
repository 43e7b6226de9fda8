#include "buffers/SmartBuffer.h"

#include <cstring>
#include <string>

#include "core/Exceptions.h"

namespace tardivox {

TSLSmartBuffer::TSLSmartBuffer(uint64_t requestedBytes) {
  const std::size_t size = BlockSizeClass(requestedBytes);
  data_ = static_cast<uint8_t*>(AllocateBlockMemory(size));
  if (data_ == nullptr) {
    throw EOutOfMemory(
        FormatMessage("Out of memory: no block of %u bytes", {std::to_string(size)}));
  }
  allocatedSize_ = static_cast<uint32_t>(size);
}

TSLSmartBuffer::~TSLSmartBuffer() {
  ReleaseBlockMemory(data_, allocatedSize_);
}

void TSLSmartBuffer::Attach(bool asOwner) {
  std::lock_guard guard(lock_);
  if (asOwner) ++owners_;
  ++holders_;
}

void TSLSmartBuffer::Detach(bool asOwner) {
  bool last = false;
  {
    std::lock_guard guard(lock_);
    if (asOwner && owners_ > 0) --owners_;
    if (holders_ > 0) {
      --holders_;
      last = holders_ == 0;
    }
  }
  // Outside the lock: the lock is part of the object being destroyed.
  if (last) delete this;
}

void TSLSmartBuffer::DropOwner() {
  std::lock_guard guard(lock_);
  if (owners_ > 0) --owners_;
}

bool TSLSmartBuffer::IsUnique() {
  std::lock_guard guard(lock_);
  return owners_ <= 1;
}

int32_t TSLSmartBuffer::OwnerCount() {
  std::lock_guard guard(lock_);
  return owners_;
}

int32_t TSLSmartBuffer::HolderCount() {
  std::lock_guard guard(lock_);
  return holders_;
}

TSLSmartBuffer* TSLSmartMemoryBuffer::CloneBlock(bool copyContent) {
  auto* clone = new TSLSmartMemoryBuffer(AllocatedSize());
  if (copyContent) std::memcpy(clone->Data(), Data(), AllocatedSize());
  return clone;
}

TSLSmartBuffer* TALSmartAudioBuffer::CloneBlock(bool copyContent) {
  auto* clone = new TALSmartAudioBuffer(AllocatedSize());
  std::memcpy(clone->Data(), Data(), copyContent ? AllocatedSize() : kWaveFormatSize);
  return clone;
}

}  // namespace tardivox
