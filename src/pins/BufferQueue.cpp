#include "pins/BufferQueue.h"

#include <algorithm>

namespace tardivox {

void TSLBufferQueue::Push(TRef<ISLDataBuffer> buffer) {
  if (!buffer) return;
  const uint32_t count = buffer->Count();
  // An empty buffer would sit at the head with nothing to hand out.
  if (count == 0) return;
  // A second object on the same block (no data copied): a producer that goes on writing through
  // its own object copies the block first, so the queued items stay as they were pushed, and
  // a producer that resizes its object cannot change the count accounted for here.
  TRef<ISLDataBuffer> queued = buffer->Clone();
  std::lock_guard<std::mutex> guard(lock_);
  buffers_.push_back(std::move(queued));
  available_ += count;
}

bool TSLBufferQueue::Read(ISLDataBuffer* destination) {
  if (!destination) return false;
  const uint32_t wanted = destination->Count();
  std::lock_guard<std::mutex> guard(lock_);
  if (wanted > available_) return false;
  // Copy first, consume afterwards: a copy that raises leaves every buffer, the offset and the
  // count as they were, so the invariant holds whatever happens.
  uint32_t written = 0;
  size_t index = 0;
  uint32_t offset = readOffset_;
  while (written < wanted) {
    ISLDataBuffer& buffer = *buffers_.at(index);
    const uint32_t take = std::min(buffer.Count() - offset, wanted - written);
    buffer.CopyTo(offset, destination, written, take);
    written += take;
    offset += take;
    if (offset == buffer.Count()) {
      ++index;
      offset = 0;
    }
  }
  for (; index > 0; --index) buffers_.pop_front();
  readOffset_ = offset;
  available_ -= wanted;
  return true;
}

void TSLBufferQueue::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  buffers_.clear();
  available_ = 0;
  readOffset_ = 0;
}

uint64_t TSLBufferQueue::Available() const {
  std::lock_guard<std::mutex> guard(lock_);
  return available_;
}

uint32_t TSLBufferQueue::ReadOffset() const {
  std::lock_guard<std::mutex> guard(lock_);
  return readOffset_;
}

size_t TSLBufferQueue::BufferCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return buffers_.size();
}

}  // namespace tardivox
