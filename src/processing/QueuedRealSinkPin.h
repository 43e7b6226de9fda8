#pragma once
// An adder's input: a real sink pin with its own queue of received buffers, the share of each
// output block it contributes, and the stream it was started with.
//
// An input is active between a start and a stop. Only an active input keeps what it receives:
// a buffer that reaches an inactive input is not queued, so audio from before a stop is never
// summed after the next start. The needed count is the number of queued items one output block
// takes from this input (the block size scaled by this input's rate over the common rate).
//
// Threads: every member is used on the delivering thread under the owning component's group
// lock (deliveries and its property setters); the queue has its own lock besides (rank: leaf —
// see docs/ARCHITECTURE.md).
// Ownership: created by its component with the component's input handler as its receive
// handler; the component's input pin list owns it.
// Failure: nothing is raised here besides the queue's std::bad_alloc when it must grow.

#include <cstdint>

#include "buffers/RealBuffer.h"
#include "pins/BufferQueue.h"
#include "pins/RealPins.h"

namespace tardivox {

class TSLOWQueuedRealSinkPin : public TSLOWRealSinkPin {
 public:
  TSLOWQueuedRealSinkPin(TComponent* owner, TOWReceiveHandler handler);
  ~TSLOWQueuedRealSinkPin() override { BeginDestroy(); }

  // Stores both and makes the input active.
  void Setup(int32_t bufferSize, double sampleRate);
  // Empties the queue and makes the input inactive.
  void Reset();
  // Queues the buffer (by reference) when the input is active; answers whether it did.
  // Thread: capture. Real-time: yes once the queue reached its length.
  bool Enqueue(const TRef<ISLRealBuffer>& buffer);
  // needed := blockSize × sample rate ÷ common rate (the common rate as a 32-bit float),
  // rounded to the nearest integer, ties to even. A common rate that is not a positive number,
  // and a result that is not positive, give 0; a result above the 32-bit range its maximum.
  void ComputeNeed(int32_t blockSize, double commonRate);
  // The queue holds at least the needed count.
  bool IsReady() const { return queue_.Available() >= needed_; }

  uint32_t Needed() const { return needed_; }
  bool Active() const { return active_; }
  double SampleRate() const { return sampleRate_; }
  int32_t AnnouncedBufferSize() const { return announcedBufferSize_; }
  TSLBufferQueue& Queue() { return queue_; }
  const TSLBufferQueue& Queue() const { return queue_; }

 private:
  uint32_t needed_ = 0;
  TSLBufferQueue queue_;
  int32_t announcedBufferSize_ = 0;
  bool active_ = false;
  double sampleRate_ = 0.0;
};

}  // namespace tardivox
