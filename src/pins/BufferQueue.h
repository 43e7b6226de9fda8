#pragma once
// A first-in first-out queue of data buffers that hands out exactly as many items as its
// consumer asks for, across buffer boundaries (an adder input collecting fixed-size blocks).
//
// Buffers are queued by reference: Push keeps a second buffer object on the same block (Clone),
// so no data is copied on the way in and a producer that later writes through its own object
// gets a block of its own (copy-on-write) instead of changing queued items. Read copies each item
// once, straight from the queued buffers into the destination, and drops a buffer as soon as all of
// its items were handed out. Invariant: Available() = items of the queued buffers − ReadOffset().
//
// Threads: every call holds the queue's own lock for its whole duration (copying included), so
// a producer and a consumer on different threads may use one queue at the same time. The lock
// has rank leaf (see docs/ARCHITECTURE.md): callers may hold group locks when they call in.
// Ownership: the queue holds one reference to each queued buffer; the producer may drop its own.
// Failure: Read returns false and consumes nothing when fewer items are available than the
// destination holds; an error raised while it copies reaches the caller and leaves the queue as
// it was (the buffers are dropped only once every copy succeeded). A null buffer is ignored by
// Push; Push may raise std::bad_alloc when the queue must grow, and then queues nothing.
// Allocation: the queue keeps its slots (a ring that only grows), so a queue whose length stays
// bounded allocates nothing once it reached that length.

#include <cstdint>
#include <mutex>

#include "buffers/DataBuffer.h"
#include "core/RingQueue.h"

namespace tardivox {

class TSLBufferQueue {
 public:
  TSLBufferQueue() = default;
  TSLBufferQueue(const TSLBufferQueue&) = delete;
  TSLBufferQueue& operator=(const TSLBufferQueue&) = delete;

  // Appends the buffer (a clone on the same block) and adds its item count to the available items.
  // A buffer without items is not queued.
  // Thread: any. Locks: the queue's own lock. Real-time: yes once the ring reached its length.
  void Push(TRef<ISLDataBuffer> buffer);
  // Fills the whole destination with the next items, oldest first; false (nothing consumed)
  // when fewer are available than the destination's Count(), or when it is null.
  // Thread: any. Locks: the queue's own lock. Real-time: yes.
  bool Read(ISLDataBuffer* destination);
  // Drops every buffer (the slots are kept); nothing is available afterwards.
  // Thread: any. Locks: the queue's own lock. Real-time: yes.
  void Clear();

  uint64_t Available() const;
  // Items of the oldest queued buffer already handed out.
  uint32_t ReadOffset() const;
  // Number of buffers queued.
  size_t BufferCount() const;

 private:
  mutable std::mutex lock_;  // guards every member below
  TRingQueue<TRef<ISLDataBuffer>> buffers_;
  uint64_t available_ = 0;
  uint32_t readOffset_ = 0;
};

}  // namespace tardivox
