#include "buffers/GenericBuffer.h"

#include <algorithm>
#include <cstring>

#include "core/Exceptions.h"
#include "vector/Vector.h"

namespace tardivox {

TSLGenericBuffer::TSLGenericBuffer(TSLSmartBuffer* block, uint32_t storedSize)
    : data_(block->Data()), storedSize_(storedSize) {
  block->Attach(true);
  SetBlock(block);
}

TSLGenericBuffer::TSLGenericBuffer(const TSLGenericBuffer& source)
    : TRefCounted(),
      ISLDataBuffer(),
      ISLGenericBuffer(),
      TSLBlockStoreObject(),
      data_(source.data_),
      storedSize_(source.storedSize_) {
  source.block_->Attach(true);
  SetBlock(source.block_);
}

TSLGenericBuffer::~TSLGenericBuffer() {
  for (TSLDataBufferAccess* access : accesses_) access->BufferGone();
  if (block_ != nullptr) block_->Detach(owner_);
}

uint8_t* TSLGenericBuffer::WriteBytes() {
  MakeUnique(false);
  return data_;
}

uint8_t* TSLGenericBuffer::ModifyBytes() {
  MakeUnique(true);
  return data_;
}

bool TSLGenericBuffer::MakeUnique(bool keepContent) {
  if (block_->IsUnique()) return false;
  // The clone is made before anything changes, so a failed clone leaves the buffer as it was.
  TSLSmartBuffer* old = block_;
  TSLSmartBuffer* clone = old->CloneBlock(keepContent);
  clone->Attach(owner_);
  SetBlock(clone);
  old->Detach(owner_);
  // The data pointer keeps its offset into the block (an audio buffer's frames follow its
  // header); BlockChanged of the derived kinds recomputes it anyway.
  data_ = clone->Data() + (data_ - old->Data());
  BlockChanged();
  return true;
}

void TSLGenericBuffer::ReplaceBlock(TSLSmartBuffer* newBlock, bool keepContent) {
  TSLSmartBuffer* old = block_;
  SetBlock(newBlock);
  if (keepContent) {
    std::memcpy(newBlock->Data(), old->Data(),
                std::min(newBlock->AllocatedSize(), old->AllocatedSize()));
  }
  old->Detach(owner_);
  newBlock->Attach(owner_);
}

bool TSLGenericBuffer::AcceptsBlockOf(const TSLGenericBuffer& source) const {
  return source.data_ == source.block_->Data();
}

void TSLGenericBuffer::ShareFrom(ISLDataBuffer* source) {
  if (source == nullptr) RaiseAssignError(nullptr, ClassName());
  TSLGenericBuffer* other = source->Implementation();
  if (!AcceptsBlockOf(*other)) RaiseAssignError(other->ClassName(), ClassName());
  if (other != this && other->block_ != block_) {
    // Attach first: should the old block be the last hold on memory the source also uses,
    // nothing is freed under its feet.
    other->block_->Attach(owner_);
    TSLSmartBuffer* old = block_;
    SetBlock(other->block_);
    old->Detach(owner_);
    BlockChanged();
  }
  storedSize_ = other->storedSize_;
  data_ = other->data_;
}

void TSLGenericBuffer::CopyBytesTo(uint32_t selfOffsetBytes, ISLDataBuffer* destination,
                                   uint32_t destinationOffsetBytes, uint32_t countBytes) {
  if (destination == nullptr) return;
  const uint32_t selfBytes = ByteSize();
  const uint32_t destinationBytes = destination->ByteSize();
  if (selfOffsetBytes >= selfBytes || destinationOffsetBytes >= destinationBytes) return;
  countBytes = std::min(
      {countBytes, selfBytes - selfOffsetBytes, destinationBytes - destinationOffsetBytes});
  if (countBytes == 0) return;
  // Destination first: when it is this very buffer, making it unique may move the data.
  uint8_t* to = destination->ModifyData() + destinationOffsetBytes;
  const uint8_t* from = ReadData() + selfOffsetBytes;
  vec::Copy(to, from, static_cast<int>(countBytes));
}

void TSLGenericBuffer::CopyTo(uint32_t selfOffset, ISLDataBuffer* destination,
                              uint32_t destinationOffset, uint32_t count) {
  CopyBytesTo(selfOffset, destination, destinationOffset, count);
}

TRef<ISLDataBuffer> TSLGenericBuffer::Clone() {
  return TRef<ISLDataBuffer>(new TSLGenericBuffer(*this));
}

TRef<ISLDataBufferAccess> TSLGenericBuffer::NewAccess() {
  return TRef<ISLDataBufferAccess>(new TSLDataBufferAccess(this));
}

void TSLGenericBuffer::DropOwnership() {
  if (!owner_) return;
  block_->DropOwner();
  owner_ = false;
}

void TSLGenericBuffer::RegisterAccess(TSLDataBufferAccess* access) {
  accesses_.push_back(access);
}

void TSLGenericBuffer::UnregisterAccess(TSLDataBufferAccess* access) {
  auto it = std::find(accesses_.begin(), accesses_.end(), access);
  if (it != accesses_.end()) accesses_.erase(it);
}

TSLDataBufferAccess::TSLDataBufferAccess(TSLGenericBuffer* buffer) : buffer_(buffer) {
  if (buffer_ != nullptr) buffer_->RegisterAccess(this);
}

TSLDataBufferAccess::~TSLDataBufferAccess() {
  if (buffer_ != nullptr) buffer_->UnregisterAccess(this);
}

TSLGenericBuffer& TSLDataBufferAccess::Live() const {
  if (buffer_ == nullptr) throw Exception("The buffer of this access object has been released");
  return *buffer_;
}

TSLGenericBuffer& TSLDataBufferAccess::LiveOf(ISLDataBufferAccess* access) {
  auto* object = dynamic_cast<TSLDataBufferAccess*>(access);
  if (object == nullptr) throw Exception("No access object given");
  return object->Live();
}

uint8_t* TSLDataBufferAccess::ReadBytes() {
  return Live().ReadBytes();
}
uint8_t* TSLDataBufferAccess::WriteBytes() {
  return Live().WriteBytes();
}
uint8_t* TSLDataBufferAccess::ModifyBytes() {
  return Live().ModifyBytes();
}
uint32_t TSLDataBufferAccess::ByteSize() {
  return Live().ByteSize();
}
uint32_t TSLDataBufferAccess::Count() {
  return Live().Count();
}

TRef<ISLDataBuffer> TSLDataBufferAccess::GetBuffer() {
  return TRef<ISLDataBuffer>(buffer_);
}

TSLSequenceStamp* TSLDataBufferAccess::SequenceStamp() {
  return Live().SequenceStamp();
}

void TSLDataBufferAccess::CopyTo(uint32_t selfOffset, ISLDataBufferAccess* destination,
                                 uint32_t destinationOffset, uint32_t count) {
  Live().CopyTo(selfOffset, &LiveOf(destination), destinationOffset, count);
}

void TSLDataBufferAccess::SetCount(uint32_t count, bool keepContent) {
  if (count == Live().Count()) return;
  Live().SetCount(count, keepContent);
}

bool TSLDataBufferAccess::MakeUnique(bool keepContent) {
  return Live().MakeUnique(keepContent);
}
TRef<ISLDataBuffer> TSLDataBufferAccess::Clone() {
  return Live().Clone();
}

}  // namespace tardivox
