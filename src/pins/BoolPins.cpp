#include "pins/BoolPins.h"

#include "pins/StreamTypeIds.h"

namespace tardivox {

namespace {

bool ReceiveBool(TOWPin& pin, std::atomic<bool>& value, const TOWBoolChangeHandler& handler,
                 IOWNotifyOperation& op) {
  if (auto* supplied = OperationAs<TOWSuppliedBoolOperation>(op)) {
    value.store(supplied->Value(), std::memory_order_release);
    if (handler) handler(pin, supplied->Value());
  }
  return false;
}

}  // namespace

TOWBoolSinkPin::TOWBoolSinkPin(TComponent* owner, TOWBoolChangeHandler handler)
    : TOWSinkPin(owner), handler_(std::move(handler)) {
  AddInterface(kBooleanSingleType);
}

bool TOWBoolSinkPin::Receive(const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
  return ReceiveBool(*this, value_, handler_, op);
}

TOWBoolStatePin::TOWBoolStatePin(TComponent* owner, TOWBoolChangeHandler handler)
    : TOWStatePin(owner), handler_(std::move(handler)) {
  AddInterface(kBooleanSingleType);
  SetDeliveryFunction({});
}

void TOWBoolStatePin::SetDeliveryFunction(TOWDeliveryFunction function) {
  if (!function) {
    function = TOWDeliveryFunction::Bind<TOWBoolStatePin, &TOWBoolStatePin::BoolDelivery>(this);
  }
  types_.Add(kBooleanSingleType, function);
}

void TOWBoolStatePin::SetValue(bool value) {
  if (value_.exchange(value, std::memory_order_acq_rel) == value) return;
  TRef<IOWNotifyOperation> op(new TOWSuppliedBoolOperation(value));
  Notify(*op);
}

bool TOWBoolStatePin::Receive(const Guid&, IOWNotifyOperation& op, TOWStateFlags) {
  return ReceiveBool(*this, value_, handler_, op);
}

bool TOWBoolStatePin::BoolDelivery(TOWBasicPin* target, const Guid& type, IOWNotifyOperation& op,
                                   TOWStateFlags flags) {
  if (auto* supplied = OperationAs<TOWSuppliedBoolOperation>(op)) {
    value_.store(supplied->Value(), std::memory_order_release);
  }
  IOWPinReceiver* receiver = target->QueryReceiver(kBooleanSingleType);
  if (!receiver) return false;
  if (flags & kStateProbe) {
    TRef<IOWNotifyOperation> current(new TOWSuppliedBoolOperation(Value()));
    receiver->Receive(type, *current, flags);
  } else {
    receiver->Receive(type, op, flags);
  }
  return false;
}

}  // namespace tardivox
