#pragma once
// The real-valued signal pins: real buffers (ISLRealBuffer) between the audio-to-real
// splitters, the adders and the waterfall displays. A real source and any real sink settle on
// the real buffer stream type.
//
// The combined sinks also implement the single-value types; a real source delivers to a sink
// that takes a float single value but no buffer type through its float-single function, which
// sends the buffer's first sample as a supplied-single operation.
// Threads, ownership and failures as in SignalPins.h.

#include "pins/SignalPins.h"

namespace tardivox {

class TSLOWRealSourcePin : public TSLOWSourcePin {
 public:
  TSLOWRealSourcePin(TComponent* owner, TOWReceiveHandler handler);
  ~TSLOWRealSourcePin() override { BeginDestroy(); }

  // Calls the receive handler; false without one.
  bool Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) override;
  // The float-single delivery function (see above). Nothing is delivered for a probe, for an
  // operation that carries no value, for an empty buffer, or to a target without the
  // float-single interface.
  bool FloatSingleDelivery(TOWBasicPin* target, const Guid& type, IOWNotifyOperation& op,
                           TOWStateFlags flags);

 private:
  TOWReceiveHandler handler_;
};

class TSLOWRealSinkPin : public TSLOWSinkPin {
 public:
  TSLOWRealSinkPin(TComponent* owner, TOWReceiveHandler handler);
  ~TSLOWRealSinkPin() override { BeginDestroy(); }

  // Calls the receive handler; false without one.
  bool Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) override;

 private:
  TOWReceiveHandler handler_;
};

// A real sink that also takes real and float single values.
class TSLOWComboRealSinkPin : public TSLOWRealSinkPin {
 public:
  TSLOWComboRealSinkPin(TComponent* owner, TOWReceiveHandler handler);
  ~TSLOWComboRealSinkPin() override { BeginDestroy(); }
};

// A combined real sink that also takes integer buffers and integer single values.
class TSLOWComboRealIntSinkPin : public TSLOWComboRealSinkPin {
 public:
  TSLOWComboRealIntSinkPin(TComponent* owner, TOWReceiveHandler handler);
  ~TSLOWComboRealIntSinkPin() override { BeginDestroy(); }
};

}  // namespace tardivox
