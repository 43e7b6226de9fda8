#pragma once
// The signal pins: the bases of the audio and real-valued pins through which components pass
// buffers and stream control operations.
//
// A signal source remembers the last start operation it sent (until it sends a stop) and hands
// it to every sink connected later, alone, right after the connection's entry is made (twice
// when the connection is made from the source's side); a sink that leaves it gets a new stop
// operation alone. SendBuffer wraps a buffer in a supplied-buffer operation and swallows every
// error raised downstream. A signal sink asks its source for data with RequestMasterPump.
//
// Receive handler: the callback a component gives each of its signal pins, called with the pin
// that received, the stream type, the operation and the state flags. Its answer (bit 0) only
// orders the sender's sinks. It runs on the notifying thread under the group locks of the
// notification (the receiving component's group included).
// Threads, ownership and failures as in Pin.h.

#include <functional>

#include "pins/SinkPin.h"
#include "pins/SourcePin.h"

namespace tardivox {

class TOWPin;

using TOWReceiveHandler =
    std::function<bool(TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags)>;

class TSLOWSourcePin : public TOWSourcePin, public IOWPinReceiver {
 public:
  explicit TSLOWSourcePin(TComponent* owner);
  ~TSLOWSourcePin() override { BeginDestroy(); }

  // Notifies the sinks with a new supplied-buffer operation holding `buffer`. Any error raised
  // during the delivery is discarded; the answer is then false.
  bool SendBuffer(TRef<ISLDataBuffer> buffer);
  // Notifies a new stop (end-stop) operation. Errors of receivers reach the caller.
  bool SendStop();
  bool SendEndStop();

  // The remembered start operation, or null (guarded by this pin's group lock).
  const TRef<IOWNotifyOperation>& RememberedStart() const { return rememberedStart_; }

  // The base receive slot: answers false.
  bool Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) override;
  // The clock delivery function: ticks a target that implements the clock interface.
  virtual bool ClockDelivery(TOWBasicPin* target, const Guid& type, IOWNotifyOperation& op,
                             TOWStateFlags flags);

  void AddSink(TOWBasicPin* sink, TOWBasicPin* after) override;
  void RemoveSink(TOWBasicPin* sink, bool keepPlaceholder) override;

 protected:
  IOWPinReceiver* Receiver() override { return this; }
  void OperationSent(IOWNotifyOperation& op) override;
  void ConnectedFromSource(TOWBasicPin* sink) override;
  // Sends a newly connected sink what it needs to join the running stream.
  virtual void SendRemembered(TOWBasicPin* sink);

 private:
  TRef<IOWNotifyOperation> rememberedStart_;
};

class TSLOWSinkPin : public TOWSinkPin, public IOWPinReceiver {
 public:
  explicit TSLOWSinkPin(TComponent* owner);
  ~TSLOWSinkPin() override { BeginDestroy(); }

  // Notifies the source with a new master-pump operation naming `pump`.
  bool RequestMasterPump(TComponent* pump);

  // The base receive slot: answers false.
  bool Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) override;

 protected:
  IOWPinReceiver* Receiver() override { return this; }
};

}  // namespace tardivox
