#pragma once
// The audio pins: an audio source pin hands audio buffers (and the stream's control
// operations) to every connected audio sink; two audio pins always settle on the audio stream
// type, delivered by the registry's signal delivery to the sink's receive handler.
//
// Besides the start operation of every signal source, an audio source remembers the last
// resume operation it sent (until it sends a stop) and hands it to a sink connected later,
// right after the start operation.
// Threads, ownership and failures as in SignalPins.h.

#include "pins/SignalPins.h"

namespace tardivox {

class TALOWAudioSourcePin : public TSLOWSourcePin {
 public:
  TALOWAudioSourcePin(TComponent* owner, TOWReceiveHandler handler);
  ~TALOWAudioSourcePin() override { BeginDestroy(); }

  // The remembered resume operation, or null (guarded by this pin's group lock).
  const TRef<IOWNotifyOperation>& RememberedResume() const { return rememberedResume_; }
  // Calls the receive handler (operations sent upstream by the sinks); false without one.
  bool Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) override;

 protected:
  void OperationSent(IOWNotifyOperation& op) override;
  void SendRemembered(TOWBasicPin* sink) override;

 private:
  TOWReceiveHandler handler_;
  TRef<IOWNotifyOperation> rememberedResume_;
};

class TALOWAudioSinkPin : public TSLOWSinkPin {
 public:
  TALOWAudioSinkPin(TComponent* owner, TOWReceiveHandler handler);
  ~TALOWAudioSinkPin() override { BeginDestroy(); }

  // Calls the receive handler; false without one.
  bool Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) override;

 private:
  TOWReceiveHandler handler_;
};

}  // namespace tardivox
