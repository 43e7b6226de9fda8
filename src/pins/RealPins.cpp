#include "pins/RealPins.h"

#include "buffers/RealBuffer.h"
#include "pins/StreamTypeIds.h"

namespace tardivox {

TSLOWRealSourcePin::TSLOWRealSourcePin(TComponent* owner, TOWReceiveHandler handler)
    : TSLOWSourcePin(owner), handler_(std::move(handler)) {
  AddInterface(kRealBufferType);
  AddFunction(
      kFloatSingleType,
      TOWDeliveryFunction::Bind<TSLOWRealSourcePin, &TSLOWRealSourcePin::FloatSingleDelivery>(
          this));
  AddDataType(kRealBufferType);
}

bool TSLOWRealSourcePin::Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
  return handler_ ? handler_(*this, type, op, flags) : false;
}

bool TSLOWRealSourcePin::FloatSingleDelivery(TOWBasicPin* target, const Guid& type,
                                             IOWNotifyOperation& op, TOWStateFlags flags) {
  if (flags & kStateProbe) return false;
  IOWPinReceiver* receiver = target->QueryReceiver(kFloatSingleType);
  if (!receiver) return false;
  if (OperationIs<TOWSuppliedSingleOperation>(op)) return receiver->Receive(type, op, flags);
  auto* supplied = OperationAs<TOWSuppliedBufferOperation>(op);
  if (!supplied) return false;
  auto* real = dynamic_cast<ISLRealBuffer*>(supplied->Buffer().get());
  // An empty buffer has no first sample to send.
  if (!real || real->Count() == 0) return false;
  TRef<IOWNotifyOperation> single(
      new TOWSuppliedSingleOperation(static_cast<float>(real->GetValue(0))));
  return receiver->Receive(type, *single, flags);
}

TSLOWRealSinkPin::TSLOWRealSinkPin(TComponent* owner, TOWReceiveHandler handler)
    : TSLOWSinkPin(owner), handler_(std::move(handler)) {
  AddInterface(kRealBufferType);
  AddDataType(kRealBufferType);
}

bool TSLOWRealSinkPin::Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
  return handler_ ? handler_(*this, type, op, flags) : false;
}

TSLOWComboRealSinkPin::TSLOWComboRealSinkPin(TComponent* owner, TOWReceiveHandler handler)
    : TSLOWRealSinkPin(owner, std::move(handler)) {
  AddDataType(kFloatSingleType);
  AddDataType(kRealSingleType);
  AddInterface(kRealSingleType);
  AddInterface(kFloatSingleType);
}

TSLOWComboRealIntSinkPin::TSLOWComboRealIntSinkPin(TComponent* owner, TOWReceiveHandler handler)
    : TSLOWComboRealSinkPin(owner, std::move(handler)) {
  AddDataType(kIntegerBufferType);
  AddDataType(kIntegerSingleType);
  AddInterface(kIntegerSingleType);
  AddInterface(kIntegerBufferType);
}

}  // namespace tardivox
