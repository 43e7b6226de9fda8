#include "processing/CommonSplitter.h"

#include <algorithm>
#include <cstring>

#include "locks/LockObject.h"

namespace tardivox {

TALCommonSplitter::TALCommonSplitter(TComponent* owner)
    : TComponent(owner), lockObject_(std::make_unique<TOWObject>()) {
  // All zero until the first start: no conversion is selected before it.
  std::memset(static_cast<void*>(&streamFormat_), 0, sizeof streamFormat_);
  inputPin_ = std::make_unique<TALOWAudioSinkPin>(
      this, [this](TOWPin& pin, const Guid& type, IOWNotifyOperation& op, TOWStateFlags flags) {
        return ReceiveFromInput(pin, type, op, flags);
      });
  outputPins_ = std::make_unique<TOWPinList>(this, true);
  lockObject_->AddDependency(inputPin_.get());

  PublishObject("InputPin", inputPin_.get());
  PublishObject("OutputPins", outputPins_.get());
  PublishValue(
      "CountChannels", [this] { return TPropertyValue(int64_t{CountChannels()}); },
      [this](const TPropertyValue& v) {
        SetCountChannels(static_cast<int32_t>(std::clamp<int64_t>(AsInteger(v), 0, kMaxChannels)));
      },
      int64_t{kDefaultChannels});
}

TALCommonSplitter::~TALCommonSplitter() {
  Destroying();
  inputPin_->Disconnect();
  StopStream();
  outputPins_.reset();
  inputPin_.reset();
  lockObject_.reset();
}

void TALCommonSplitter::SetCountChannels(int32_t n) {
  n = std::clamp(n, 1, kMaxChannels);
  // One section for the whole change: no delivery sees a pin that is in the list but not yet
  // in the input's lock group.
  TOWGlobalWriteLockSection global;
  while (outputPins_->Count() > n)
    outputPins_->Remove(outputPins_->Items(outputPins_->Count() - 1));
  while (outputPins_->Count() < n) {
    TSLOWSourcePin* pin = CreateOutputPin();
    outputPins_->Add(pin);
    pin->FunctionSinkPins().AddPassThrough(inputPin_.get(), true);
  }
}

WaveFormat TALCommonSplitter::StreamFormat() {
  TOWWriteLockSection section(*lockObject_);
  return streamFormat_;
}

void TALCommonSplitter::Loaded() {
  TComponent::Loaded();
  outputPins_->DropPlaceholders();
}

TSLOWSourcePin* TALCommonSplitter::OutputPin(int index) const {
  return dynamic_cast<TSLOWSourcePin*>(outputPins_->Items(index));
}

bool TALCommonSplitter::ReceiveFromInput(TOWPin&, const Guid&, IOWNotifyOperation& op,
                                         TOWStateFlags) {
  // Buffers first: they are by far the most frequent kind, and no other kind tested here
  // derives from the supplied-buffer kind or it from them, so the order changes no answer.
  if (auto* supplied = OperationAs<TOWSuppliedBufferOperation>(op)) {
    // Only read, on the delivering thread, like every other sink of this notification: the
    // received object itself serves, nothing is copied or wrapped. Only audio sources connect
    // here; anything else is not audio and gives nothing.
    if (auto* buffer = dynamic_cast<IALAudioBuffer*>(supplied->Buffer().get())) {
      SplitBuffer(*buffer);
    }
  } else if (auto* start = OperationAs<TOWStartWaveOperation>(op)) {
    streamFormat_ = start->Format();
    StartStream(streamFormat_);
  } else if (OperationIs<TOWStopOperation>(op)) {
    StopStream();
  } else if (OperationIs<TOWSLResumeOperation>(op)) {
    ResumeStream();
  }
  return false;
}

bool TALCommonSplitter::ReceiveFromOutput(TOWPin& pin, const Guid& type, IOWNotifyOperation& op,
                                          TOWStateFlags flags) {
  if (inputPin_->IsConnected()) return inputPin_->Notify(op);
  ReceiveFromInput(pin, type, op, flags);
  return false;
}

void TALCommonSplitter::StopStream() {
  TRef<IOWNotifyOperation> op(new TOWStopOperation);
  SendToOutputs(*op);
}

void TALCommonSplitter::ResumeStream() {
  TRef<IOWNotifyOperation> op(new TOWSLResumeOperation);
  SendToOutputs(*op);
}

void TALCommonSplitter::SendToOutputs(IOWNotifyOperation& op) {
  for (int i = 0; i < outputPins_->Count(); ++i) outputPins_->Items(i)->Notify(op);
}

void TALCommonSplitter::SplitBuffer(IALAudioBuffer& buffer) {
  const uint32_t bits = streamFormat_.bitsPerSample;
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return;
  layout_ = TFrameLayout{bits, streamFormat_.blockAlign, streamFormat_.channels};
  if (buffer.ContainerBits() != layout_.containerBits ||
      buffer.BlockAlign() != layout_.blockAlign || buffer.Channels() != layout_.channels) {
    // The buffer says how its own bytes are laid out; the announced format does not.
    layout_ = TFrameLayout{buffer.ContainerBits(), buffer.BlockAlign(), buffer.Channels()};
  }
  void (TALCommonSplitter::*convert)(uint32_t, IALAudioBuffer&) = nullptr;
  switch (layout_.containerBits) {
    case 8:
      convert = &TALCommonSplitter::Convert8;
      break;
    case 16:
      convert = &TALCommonSplitter::Convert16;
      break;
    case 24:
      convert = &TALCommonSplitter::Convert24;
      break;
    case 32:
      convert = &TALCommonSplitter::Convert32;
      break;
    default:
      return;
  }
  for (int i = 0; i < outputPins_->Count(); ++i) {
    if (outputPins_->Items(i)->IsConnected()) (this->*convert)(static_cast<uint32_t>(i), buffer);
  }
}

template <class ReadSample>
void TALCommonSplitter::ConvertChannel(uint32_t channel, IALAudioBuffer& buffer,
                                       ReadSample sample) {
  const uint32_t align = layout_.blockAlign;
  const uint32_t n = align == 0 ? 0 : buffer.ByteSize() / align;
  TRef<ISLRealBuffer> real(new TSLRealBuffer(n));
  double* out = real->WriteData();
  const uint32_t sampleBytes = layout_.containerBits / 8;
  // Every byte read lies inside the buffer: n frames of `align` bytes fit in ByteSize, and a
  // channel is read only when its sample ends inside the frame.
  if (channel < layout_.channels && (channel + 1) * sampleBytes <= align) {
    const uint8_t* source = buffer.ReadData() + std::size_t{sampleBytes} * channel;
    for (uint32_t k = 0; k < n; ++k, source += align) out[k] = sample(source);
  } else if (n > 0) {
    real->Zero();
  }
  EmitChannel(channel, real);
}

void TALCommonSplitter::Convert8(uint32_t channel, IALAudioBuffer& buffer) {
  ConvertChannel(channel, buffer, [](const uint8_t* p) { return static_cast<double>(*p) - 127.0; });
}

void TALCommonSplitter::Convert16(uint32_t channel, IALAudioBuffer& buffer) {
  ConvertChannel(channel, buffer, [](const uint8_t* p) {
    int16_t value;
    std::memcpy(&value, p, sizeof value);
    return static_cast<double>(value);
  });
}

void TALCommonSplitter::Convert24(uint32_t channel, IALAudioBuffer& buffer) {
  ConvertChannel(channel, buffer, [](const uint8_t* p) {
    // Three little-endian bytes, bit 23 the sign.
    const int32_t raw = int32_t{p[0]} | (int32_t{p[1]} << 8) | (int32_t{p[2]} << 16);
    return static_cast<double>(raw >= 0x800000 ? raw - 0x1000000 : raw);
  });
}

void TALCommonSplitter::Convert32(uint32_t channel, IALAudioBuffer& buffer) {
  ConvertChannel(channel, buffer, [](const uint8_t* p) {
    int32_t value;
    std::memcpy(&value, p, sizeof value);
    return static_cast<double>(value);
  });
}

void TALCommonSplitter::EmitChannel(uint32_t, const TRef<ISLRealBuffer>&) {}

}  // namespace tardivox
