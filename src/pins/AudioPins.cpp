#include "pins/AudioPins.h"

#include "pins/StreamTypeIds.h"

namespace tardivox {

TALOWAudioSourcePin::TALOWAudioSourcePin(TComponent* owner, TOWReceiveHandler handler)
    : TSLOWSourcePin(owner), handler_(std::move(handler)) {
  AddInterface(kAudioStreamType);
  AddDataType(kAudioStreamType);
}

bool TALOWAudioSourcePin::Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
  return handler_ ? handler_(*this, type, op, flags) : false;
}

void TALOWAudioSourcePin::OperationSent(IOWNotifyOperation& op) {
  TSLOWSourcePin::OperationSent(op);
  if (OperationIs<TOWSuppliedOperation>(op)) return;
  if (OperationIs<TOWSLResumeOperation>(op)) {
    rememberedResume_ = TRef<IOWNotifyOperation>(&op);
  } else if (OperationIs<TOWStopOperation>(op)) {
    rememberedResume_.reset();
  }
}

void TALOWAudioSourcePin::SendRemembered(TOWBasicPin* sink) {
  TSLOWSourcePin::SendRemembered(sink);
  if (TRef<IOWNotifyOperation> resume = rememberedResume_) NotifySink(sink, *resume);
}

TALOWAudioSinkPin::TALOWAudioSinkPin(TComponent* owner, TOWReceiveHandler handler)
    : TSLOWSinkPin(owner), handler_(std::move(handler)) {
  AddInterface(kAudioStreamType);
  AddDataType(kAudioStreamType);
}

bool TALOWAudioSinkPin::Receive(const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
  return handler_ ? handler_(*this, type, op, flags) : false;
}

}  // namespace tardivox
