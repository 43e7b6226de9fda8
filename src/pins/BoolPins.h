#pragma once
// The boolean pins that components publish as their `EnablePin`: a boolean state pin (capture,
// playback) and a boolean sink pin (filters). A supplied-bool operation received on either pin
// becomes its value and is handed to the owner's change handler, from which the component
// sets its `Enabled` property.
//
// SetValue on a state pin stores a changed value and notifies its state links with a new
// supplied-bool operation; every linked pin receives it, the sender included (its handler is
// called with the value it already has). An unlinked pin only stores the value.
//
// Threads: SetValue runs on the caller's thread (the window's thread when `Enabled` is set);
// the change handler runs on the thread that delivers the value, under the sending pin's write
// section. The value itself may be read from any thread.

#include <atomic>
#include <functional>

#include "pins/SinkPin.h"
#include "pins/StatePin.h"

namespace tardivox {

using TOWBoolChangeHandler = std::function<void(TOWPin& pin, bool value)>;

class TOWBoolSinkPin : public TOWSinkPin, public IOWPinReceiver {
 public:
  TOWBoolSinkPin(TComponent* owner, TOWBoolChangeHandler handler);
  ~TOWBoolSinkPin() override { BeginDestroy(); }

  bool Value() const { return value_.load(std::memory_order_acquire); }
  // A supplied-bool operation sets the value and calls the change handler; other kinds are
  // ignored. Answers false.
  bool Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) override;

 protected:
  IOWPinReceiver* Receiver() override { return this; }

 private:
  TOWBoolChangeHandler handler_;
  std::atomic<bool> value_{false};
};

class TOWBoolStatePin : public TOWStatePin, public IOWPinReceiver {
 public:
  TOWBoolStatePin(TComponent* owner, TOWBoolChangeHandler handler);
  ~TOWBoolStatePin() override { BeginDestroy(); }

  bool Value() const { return value_.load(std::memory_order_acquire); }
  // Does nothing when `value` is the current value; otherwise stores it and notifies the state
  // links with a new supplied-bool operation.
  void SetValue(bool value);
  // As TOWBoolSinkPin::Receive.
  bool Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) override;
  // The boolean delivery function: a supplied-bool operation sent through it becomes this pin's
  // value; a target with the boolean interface receives the operation (for a probe, a new one
  // carrying this pin's value, so that a newly linked pin learns it). Answers false.
  bool BoolDelivery(TOWBasicPin* target, const Guid& type, IOWNotifyOperation& op,
                    TOWStateFlags flags);
  // Replaces the boolean delivery function (an empty function restores the pin's own).
  void SetDeliveryFunction(TOWDeliveryFunction function);

 protected:
  IOWPinReceiver* Receiver() override { return this; }

 private:
  TOWBoolChangeHandler handler_;
  std::atomic<bool> value_{false};
};

}  // namespace tardivox
