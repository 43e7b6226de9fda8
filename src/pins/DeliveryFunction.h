#pragma once
// How one operation crosses one connection.
//
// A delivery function is a plain function bound to an object (a pin for the pin's own
// functions, a registry entry for types delivered through the stream type registry). It is
// called with the notifying pin, the target pin (its basic interface), the connection's stream
// type, the operation and the state flags, and answers a boolean whose bit 0 only feeds the
// sender's activity counters. An empty function delivers nothing.
// Copying a delivery function never allocates; calling it may come from any thread that holds
// the sections of the notification (see SourcePin.h).

#include <cstdint>

#include "core/Guid.h"

namespace tardivox {

class TOWBasicPin;
class IOWNotifyOperation;

// State flags of one delivery.
using TOWStateFlags = uint8_t;
// Sent while a connection is being made; data delivery functions ignore it.
inline constexpr TOWStateFlags kStateProbe = 1;
// The target is the last one of the current notification.
inline constexpr TOWStateFlags kStateLastReceiver = 2;

class TOWDeliveryFunction {
 public:
  using Fn = bool (*)(void* bound, TOWBasicPin* sender, TOWBasicPin* target, const Guid& type,
                      IOWNotifyOperation& op, TOWStateFlags flags);

  constexpr TOWDeliveryFunction() = default;
  constexpr TOWDeliveryFunction(Fn fn, void* bound) : fn_(fn), bound_(bound) {}

  // A pin's own delivery function: Method of `pin`, called with (target, type, op, flags).
  template <class Pin,
            bool (Pin::*Method)(TOWBasicPin*, const Guid&, IOWNotifyOperation&, TOWStateFlags)>
  static TOWDeliveryFunction Bind(Pin* pin) {
    return TOWDeliveryFunction(
        [](void* bound, TOWBasicPin*, TOWBasicPin* target, const Guid& type, IOWNotifyOperation& op,
           TOWStateFlags flags) {
          return (static_cast<Pin*>(bound)->*Method)(target, type, op, flags);
        },
        pin);
  }

  explicit operator bool() const { return fn_ != nullptr; }
  bool operator()(TOWBasicPin* sender, TOWBasicPin* target, const Guid& type,
                  IOWNotifyOperation& op, TOWStateFlags flags) const {
    return fn_(bound_, sender, target, type, op, flags);
  }
  friend bool operator==(const TOWDeliveryFunction&, const TOWDeliveryFunction&) = default;

 private:
  Fn fn_ = nullptr;
  void* bound_ = nullptr;
};

// The receive operation behind every data interface of a pin (the receive interface, the
// audio, real, integer, single-value and boolean interfaces all lead to it).
class IOWPinReceiver {
 public:
  virtual bool Receive(const Guid& streamType, IOWNotifyOperation& op, TOWStateFlags flags) = 0;

 protected:
  ~IOWPinReceiver() = default;
};

// The tick operation of the clock interface (kClockStreamType). No pin of this program
// implements it; a pin that does receives every clock-kind operation of a clock connection.
class IOWClockReceiver {
 public:
  virtual void Tick(IOWNotifyOperation& op) = 0;

 protected:
  ~IOWClockReceiver() = default;
};

}  // namespace tardivox
