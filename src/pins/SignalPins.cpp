#include "pins/SignalPins.h"

#include "core/ScopeExit.h"
#include "pins/StreamTypeIds.h"

namespace tardivox {

// ---------------------------------------------------------------------------------------------
// TSLOWSourcePin

TSLOWSourcePin::TSLOWSourcePin(TComponent* owner) : TOWSourcePin(owner) {
  AddInterface(kReceiveInterface);
  AddFunction(kClockStreamType,
              TOWDeliveryFunction::Bind<TSLOWSourcePin, &TSLOWSourcePin::ClockDelivery>(this));
  AddDataType(kSignalStreamType);
}

bool TSLOWSourcePin::SendBuffer(TRef<ISLDataBuffer> buffer) {
  try {
    TRef<IOWNotifyOperation> op(new TOWSuppliedBufferOperation(std::move(buffer)));
    return Notify(*op);
  } catch (...) {
    // A buffer that a receiver could not take is dropped; the stream goes on.
    return false;
  }
}

bool TSLOWSourcePin::SendStop() {
  TRef<IOWNotifyOperation> op(new TOWStopOperation);
  return Notify(*op);
}

bool TSLOWSourcePin::SendEndStop() {
  TRef<IOWNotifyOperation> op(new TOWEndStopOperation);
  return Notify(*op);
}

bool TSLOWSourcePin::Receive(const Guid&, IOWNotifyOperation&, TOWStateFlags) {
  return false;
}

bool TSLOWSourcePin::ClockDelivery(TOWBasicPin* target, const Guid&, IOWNotifyOperation& op,
                                   TOWStateFlags) {
  if (!OperationIs<TOWClockOperation>(op) || !target->ImplementsInterface(kClockStreamType)) {
    return false;
  }
  if (auto* clock = dynamic_cast<IOWClockReceiver*>(target)) clock->Tick(op);
  return false;
}

void TSLOWSourcePin::OperationSent(IOWNotifyOperation& op) {
  // Buffers are by far the most frequent kind; they change nothing here.
  if (OperationIs<TOWSuppliedOperation>(op)) return;
  if (OperationIs<TOWStartOperation>(op)) {
    rememberedStart_ = TRef<IOWNotifyOperation>(&op);
  } else if (OperationIs<TOWStopOperation>(op)) {
    rememberedStart_.reset();
  }
}

void TSLOWSourcePin::SendRemembered(TOWBasicPin* sink) {
  if (TRef<IOWNotifyOperation> start = rememberedStart_) NotifySink(sink, *start);
}

void TSLOWSourcePin::AddSink(TOWBasicPin* sink, TOWBasicPin* after) {
  TOWSourcePin::AddSink(sink, after);
  SendRemembered(sink);
}

void TSLOWSourcePin::RemoveSink(TOWBasicPin* sink, bool keepPlaceholder) {
  // The entry goes also when the sink's receiver raises on the stop.
  TScopeExit remove([&] { TOWSourcePin::RemoveSink(sink, keepPlaceholder); });
  if (removingSink_ || !FindEntry(sink)) return;
  removingSink_ = true;
  TScopeExit guard([&] { removingSink_ = false; });
  TRef<IOWNotifyOperation> stop(new TOWStopOperation);
  NotifySink(sink, *stop);
}

void TSLOWSourcePin::ConnectedFromSource(TOWBasicPin* sink) {
  if (TRef<IOWNotifyOperation> start = rememberedStart_) NotifySink(sink, *start);
}

// ---------------------------------------------------------------------------------------------
// TSLOWSinkPin

TSLOWSinkPin::TSLOWSinkPin(TComponent* owner) : TOWSinkPin(owner) {
  AddInterface(kReceiveInterface);
  AddDataType(kSignalStreamType);
}

bool TSLOWSinkPin::RequestMasterPump(TComponent* pump) {
  TRef<IOWNotifyOperation> op(new TOWMasterPumpOperation(pump));
  return Notify(*op);
}

bool TSLOWSinkPin::Receive(const Guid&, IOWNotifyOperation&, TOWStateFlags) {
  return false;
}

}  // namespace tardivox
