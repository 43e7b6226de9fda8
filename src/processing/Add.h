#pragma once
// The adder: sums its real-valued inputs into blocks of BufferSize items and sends each block
// on its output (in the program: the two channels of a splitter, drawn by a waterfall as
// left + right).
//
// Each block: the first connected active input fills the sum, every later one is added to it
// item by item. An input that needs as many items as the block holds is copied straight from
// its queue; one that needs fewer (it runs below the common rate) has its items stretched over
// the block, block item k taking item min(needed − 1, round-half-even(k × (needed − 1) ÷ size)).
// An input whose needed count is 0 contributes silence. Items are copied once, from the queues
// into the block; two block buffers come from the block store per block (one with a single
// contributing input).
//
// InputPins: between 2 and 100 inputs, created and removed through the pin list (its Count
// is stored with the layout); the list owns the pins.
// Threads, locks and failures as in TSLMultiInput. Destruction: every input disconnects first.

#include <memory>

#include "pins/PinList.h"
#include "processing/MultiInput.h"

namespace tardivox {

class TSLAdd : public TSLRealMultiInput {
 public:
  static constexpr int kMinInputs = 2;
  static constexpr int kMaxInputs = 100;

  explicit TSLAdd(TComponent* owner);
  ~TSLAdd() override;

  TOWPinListOwner& InputPins() const { return *inputPins_; }

  // Drops the input list's placeholders left after loading.
  void Loaded() override;

 protected:
  void ProduceBlock() override;
  // Fills `block` with the next items of `pin` (see the header comment).
  // Thread: capture. Locks: the group lock, held by the delivery. Real-time: yes.
  void FetchBlock(TSLOWQueuedRealSinkPin& pin, ISLRealBuffer& block);

 private:
  std::unique_ptr<TOWPinListOwner> inputPins_;
};

}  // namespace tardivox
