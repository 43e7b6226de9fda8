#pragma once
// A first-in first-out queue of doubles (the waterfall display keeps its per-line maxima and
// minima in two of them).
//
// Not thread-safe: its user locks it. Memory: values live in a ring that only grows, so a queue
// that has reached its working size pushes and drops without allocating (the waterfall pushes
// and drops one value per arriving line on the capture thread).
//
// Failure: Items with an index not below Count and DropFirst on an empty queue raise
// ERangeError ("Index out of range = %u") instead of reading outside the queue.

#include <cstdint>
#include "core/RingQueue.h"

namespace tardivox {

class TSLRealQueue {
 public:
  TSLRealQueue() = default;
  TSLRealQueue(const TSLRealQueue&) = delete;
  TSLRealQueue& operator=(const TSLRealQueue&) = delete;

  // Appends a value at the end.
  void Push(double value) { values_.push_back(value); }
  uint32_t Count() const { return static_cast<uint32_t>(values_.size()); }
  // The value at index; 0 is the oldest.
  double Items(uint32_t index) const;
  // Removes the oldest value.
  void DropFirst();
  // Removes every value.
  void Clear() { values_.clear(); }
  // Makes room for `count` values, so that the queue never grows while it holds fewer.
  void Reserve(uint32_t count);

 private:
  TRingQueue<double> values_;
};

}  // namespace tardivox
