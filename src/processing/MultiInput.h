#pragma once
// The base of components that combine several real-valued input streams into blocks of
// BufferSize items: TSLMultiInput keeps the inputs with their queues, the common rate and the
// readiness test; TSLRealMultiInput adds one real output pin and announces the stream on it.
//
// Inputs (TSLOWQueuedRealSinkPin). From an input, in this order: a start-sample-rate operation
// (the start-wave kind included) sets the input up (active) and runs Reconfigure; a stop (the
// end-stop included) empties that input's queue, makes it inactive and runs OnStopped; a
// supplied buffer is queued when the input is active and OnBufferQueued follows; anything else
// is ignored.
//
// Reconfigure: the common rate becomes the highest sample rate among the connected active
// inputs. When some connected input is not active the needed counts keep their values;
// otherwise each connected active input computes its share of a block. TSLRealMultiInput then
// announces the output (start-sample-rate with BufferSize and the common rate) once after
// construction or after a stop, the first time Reconfigure runs: the first input that starts
// announces it, later starts do not, and every stop of an input sends one stop on the output.
//
// Blocks: after a buffer was queued, blocks are produced as long as every connected active
// input holds its needed count and at least one of them needs items, so a buffer that holds
// several blocks' worth gives all of them at once and the queues never fall behind the stream.
// An inactive input neither counts for readiness nor contributes; with no active input no block
// is produced.
//
// BufferSize: default 1024; a value below 1 becomes 1, one above kMaxBufferSize becomes
// kMaxBufferSize (a block that could never be filled would make the queues grow without end).
// Set while started, it takes effect at once for the needed counts and with the next block for
// the block size; the output is not announced again.
//
// Upstream (from the output's sinks): passed on through every connected input, answering the
// last one's answer. With no input connected, a start operation of any kind first sends a pump
// request downstream on the output; the operation itself then goes nowhere (answer false): no
// input can take it, and the output has no queue to handle it with.
//
// Locks: the lock holder, every input and the output form one lock group (rank: group — see
// docs/ARCHITECTURE.md); deliveries run under its write section and SetBufferSize takes the
// lock holder's write section, so a change waits for a delivery in progress. Each input's queue
// has its own lock besides (rank: leaf).
// Threads: deliveries on the delivering thread (the capture's wave thread); BufferSize and the
// inputs are changed on the window's thread.
// Ownership: the component owns the lock holder and the output; the input pins are owned by
// the derived class's pin list (the inputs list here only refers to them). Every input
// disconnects before the component is destroyed (a derived destructor does it first).
// Failure: nothing is reported; errors raised downstream travel back to the sender.

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "locks/OWObject.h"
#include "model/Component.h"
#include "pins/PinList.h"
#include "pins/RealPins.h"
#include "processing/QueuedRealSinkPin.h"

namespace tardivox {

class TSLMultiInput : public TComponent {
 public:
  static constexpr int32_t kDefaultBufferSize = 1024;
  static constexpr int32_t kMaxBufferSize = 1 << 20;

  explicit TSLMultiInput(TComponent* owner);
  ~TSLMultiInput() override;

  int32_t BufferSize() const { return bufferSize_.load(std::memory_order_acquire); }
  // See the header comment.
  // Thread: window. Locks: takes the lock holder's write section.
  virtual void SetBufferSize(int32_t n);

  // The lock holder: its write section excludes every delivery through this component.
  TOWObject& LockObject() const { return *lockObject_; }
  // The inputs, in creation order (guarded by the global lock: changed under its write
  // section).
  const std::vector<TSLOWQueuedRealSinkPin*>& Inputs() const { return inputs_; }
  // Guarded by the group lock.
  bool Started() const { return started_; }
  double CommonRate() const { return commonRate_; }

 protected:
  // The receive handler of every input (see the header comment).
  // Thread: capture. Locks: the group lock, held by the delivery. Real-time: yes.
  virtual bool InputHandler(TSLOWQueuedRealSinkPin& pin, IOWNotifyOperation& op);
  // The receive handler of the output, if any. The base does nothing.
  virtual bool OutputHandler(TOWPin& pin, const Guid& type, IOWNotifyOperation& op,
                             TOWStateFlags flags);
  // After an input stopped. The base does nothing.
  virtual void OnStopped();
  // After a buffer was queued: produces the blocks that are complete.
  virtual void OnBufferQueued();
  virtual void Reconfigure();
  // One block from every connected active input. The base does nothing.
  virtual void ProduceBlock();
  // A new input owned by this component, with InputHandler as its receive handler, appended
  // to the inputs list. The base creates no pin (null).
  virtual TOWBasicPin* CreateInputPin(TComponent* owner);
  // Takes the pin out of the inputs list (its owning list then frees it).
  virtual void RemoveInputPin(TOWPinList& list, TOWBasicPin* pin);

  // How many blocks every connected active input holds its needed count for (0 when no such
  // input needs items).
  uint64_t ReadyBlocks() const;
  // Disconnects every input (each sends its stop through InputHandler first) and forgets them.
  void DisconnectInputs();

  std::vector<TSLOWQueuedRealSinkPin*> inputs_;
  // Guarded by the group lock.
  bool started_ = false;
  double commonRate_ = 0.0;

 private:
  std::unique_ptr<TOWObject> lockObject_;
  std::atomic<int32_t> bufferSize_{kDefaultBufferSize};
};

class TSLRealMultiInput : public TSLMultiInput {
 public:
  explicit TSLRealMultiInput(TComponent* owner);
  ~TSLRealMultiInput() override;

  TSLOWRealSourcePin& OutputPin() const { return *outputPin_; }

 protected:
  bool OutputHandler(TOWPin& pin, const Guid& type, IOWNotifyOperation& op,
                     TOWStateFlags flags) override;
  void OnStopped() override;
  void Reconfigure() override;
  TOWBasicPin* CreateInputPin(TComponent* owner) override;

 private:
  std::unique_ptr<TSLOWRealSourcePin> outputPin_;
};

}  // namespace tardivox
