#include "processing/AudioToReal.h"

namespace tardivox {

TALAudioToReal::TALAudioToReal(TComponent* owner) : TALCommonSplitter(owner) {
  SetCountChannels(kDefaultChannels);
}

TALAudioToReal::~TALAudioToReal() {
  Destroying();
  InputPin().Disconnect();
}

TSLOWSourcePin* TALAudioToReal::CreateOutputPin() {
  return new TSLOWRealSourcePin(
      this, [this](TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
        return ReceiveFromOutput(pin, type, op, flags);
      });
}

void TALAudioToReal::StartStream(const WaveFormat& format) {
  for (int i = 0; i < OutputPins().Count(); ++i) {
    TRef<IOWNotifyOperation> start(new TOWStartSampleRateOperation(0, format.samplesPerSec));
    OutputPins().Items(i)->Notify(*start);
  }
}

void TALAudioToReal::EmitChannel(uint32_t channel, const TRef<ISLRealBuffer>& buffer) {
  if (TSLOWSourcePin* pin = OutputPin(static_cast<int>(channel))) pin->SendBuffer(buffer);
}

}  // namespace tardivox
