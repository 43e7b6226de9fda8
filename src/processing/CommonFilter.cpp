#include "processing/CommonFilter.h"

namespace tardivox {

TALCommonFilter::TALCommonFilter(TComponent* owner)
    : TComponent(owner), lockObject_(std::make_unique<TOWObject>()) {
  inputPin_ = std::make_unique<TALOWAudioSinkPin>(
      this, [this](TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
        return ReceiveFromInput(pin, type, op, flags);
      });
  outputPin_ = std::make_unique<TALOWAudioSourcePin>(
      this, [this](TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
        return ReceiveFromOutput(pin, type, op, flags);
      });
  // The output depends on the input: one lock group, and no connection may close a loop
  // through this filter.
  outputPin_->FunctionSinkPins().AddPassThrough(inputPin_.get(), true);
  enablePin_ =
      std::make_unique<TOWBoolSinkPin>(this, [this](TOWPin&, bool value) { SetEnabled(value); });
  lockObject_->AddDependency(inputPin_.get());

  PublishValue(
      "Enabled", [this] { return TPropertyValue(Enabled()); },
      [this](const TPropertyValue& v) { SetEnabled(AsBool(v)); }, true);
  PublishObject("InputPin", inputPin_.get());
  PublishObject("OutputPin", outputPin_.get());
  PublishObject("EnablePin", enablePin_.get());
}

TALCommonFilter::~TALCommonFilter() {
  Destroying();
  inputPin_->Disconnect();
  enablePin_.reset();
  inputPin_.reset();
  outputPin_.reset();
  lockObject_.reset();
}

void TALCommonFilter::SetEnabled(bool value) {
  TOWWriteLockSection section(*lockObject_);
  enabled_.store(value, std::memory_order_release);
}

WaveFormat TALCommonFilter::StreamFormat() {
  TOWWriteLockSection section(*lockObject_);
  return streamFormat_;
}

bool TALCommonFilter::ReceiveFromInput(TOWPin&, const Guid&, IOWNotifyOperation& op,
                                       TOWStateFlags) {
  if (auto* start = OperationAs<TOWStartWaveOperation>(op)) return HandleStartWave(*start);
  if (OperationIs<TOWStopOperation>(op)) {
    HandleStop();
    return outputPin_->Notify(op);
  }
  if (auto* supplied = OperationAs<TOWSuppliedBufferOperation>(op)) {
    ISLDataBuffer* buffer = supplied->Buffer().get();
    if (!buffer) return false;
    // Two objects on the received block: the input to read, the output to send. Neither copies
    // anything; a subclass that writes into the output gets a block of its own first.
    TRef<IALAudioBuffer> input(new TALAudioBuffer(buffer));
    TRef<IALAudioBuffer> output(new TALAudioBuffer(buffer));
    bool send = true;
    const bool connected = outputPin_->IsConnected();
    if (Enabled()) ProcessIfConnected(input, output, connected, send);
    if (send && connected && output) return outputPin_->SendBuffer(output);
    return false;
  }
  return outputPin_->Notify(op);
}

bool TALCommonFilter::ReceiveFromOutput(TOWPin& pin, const Guid& type, IOWNotifyOperation& op,
                                        TOWStateFlags flags) {
  if (auto* pump = OperationAs<TOWMasterPumpOperation>(op)) return HandleMasterPump(*pump);
  if (inputPin_->IsConnected()) return inputPin_->Notify(op);
  return ReceiveFromInput(pin, type, op, flags);
}

void TALCommonFilter::ProcessIfConnected(const TRef<IALAudioBuffer>& input,
                                         TRef<IALAudioBuffer>& output, bool outputConnected,
                                         bool& send) {
  if (outputConnected) ProcessBuffer(input, output, send);
}

void TALCommonFilter::ProcessBuffer(const TRef<IALAudioBuffer>&, TRef<IALAudioBuffer>&, bool&) {}

bool TALCommonFilter::HandleStartWave(TOWStartWaveOperation& op) {
  streamFormat_ = op.Format();
  hasStreamFormat_ = true;
  return outputPin_->Notify(op);
}

bool TALCommonFilter::HandleMasterPump(TOWMasterPumpOperation& op) {
  return inputPin_->Notify(op);
}

void TALCommonFilter::HandleStop() {}

}  // namespace tardivox
