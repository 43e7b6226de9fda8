#include "processing/DelayLine.h"

#include <algorithm>
#include <cstdint>

namespace tardivox {

TALDelayLine::TALDelayLine(TComponent* owner) : TALCommonFilter(owner) {
  PublishValue(
      "Delay", [this] { return TPropertyValue(int64_t{Delay()}); },
      [this](const TPropertyValue& v) {
        SetDelay(static_cast<uint32_t>(std::clamp<int64_t>(AsInteger(v), 0, UINT32_MAX)));
      },
      int64_t{kDefaultDelayFrames});
}

TALDelayLine::~TALDelayLine() {
  Destroying();
  InputPin().Disconnect();
}

void TALDelayLine::SetDelay(uint32_t delayFrames) {
  TOWWriteLockSection section(LockObject());
  delay_.store(delayFrames, std::memory_order_release);
  rebuild_ = true;
}

void TALDelayLine::SetEnabled(bool value) {
  TOWWriteLockSection section(LockObject());
  TALCommonFilter::SetEnabled(value);
  history_.Clear();
}

TRef<IALAudioBuffer> TALDelayLine::History() {
  TOWWriteLockSection section(LockObject());
  if (!history_.Built()) return nullptr;
  TRef<IALAudioBuffer> copy = NewStreamBuffer(history_.DelayFrames());
  history_.CopyHistory(copy->WriteData());
  return copy;
}

bool TALDelayLine::HandleStartWave(TOWStartWaveOperation& op) {
  const bool answer = TALCommonFilter::HandleStartWave(op);
  RebuildHistory();
  return answer;
}

TRef<IALAudioBuffer> TALDelayLine::NewStreamBuffer(uint32_t frames) const {
  return TRef<IALAudioBuffer>(
      new TALAudioBuffer(streamFormat_.samplesPerSec, streamFormat_.validBitsPerSample,
                         streamFormat_.channels, frames, streamFormat_.channelMask));
}

void TALDelayLine::RebuildHistory() {
  // One frame of the stream format, cleared by the audio buffer itself: the history's frame
  // size, shape and silence are exactly those of a buffer of the stream, header values brought
  // into range the same way.
  TRef<IALAudioBuffer> silence = NewStreamBuffer(1);
  silence->Clear();
  history_.Reset(Delay(), silence->BlockAlign(), silence->ReadData()[0]);
  historyChannels_ = silence->Channels();
  historyContainerBits_ = silence->ContainerBits();
  historyMask_ = silence->ChannelMask();
  rebuild_ = false;
}

bool TALDelayLine::SameLayout(IALAudioBuffer& buffer) const {
  return buffer.Channels() == historyChannels_ && buffer.ContainerBits() == historyContainerBits_ &&
         buffer.ChannelMask() == historyMask_;
}

void TALDelayLine::ProcessBuffer(const TRef<IALAudioBuffer>& input, TRef<IALAudioBuffer>& output,
                                 bool& send) {
  (void)send;  // every processed buffer is sent on
  if (!hasStreamFormat_) {
    // No start-wave came first: the stream starts with this buffer's format.
    input->GetFormat(&streamFormat_);
    hasStreamFormat_ = true;
    rebuild_ = true;
  }
  if (rebuild_ || !history_.Built()) RebuildHistory();

  const uint32_t frames = input->Count();
  // No delay: the output already is the input, nothing to copy.
  if (history_.DelayFrames() == 0 || frames == 0) return;

  if (SameLayout(*input)) {
    // The output object shares the input's block with the input object, so WriteData gives it
    // a block of its own (header kept, frames not copied) before the history writes into it.
    uint8_t* delayed = output->WriteData();
    history_.Process(input->ReadData(), delayed, frames);
    return;
  }
  // A buffer laid out differently from the stream: through the stream format and back,
  // channels paired by speaker position; unpaired channels stay silent.
  TRef<IALAudioBuffer> streamInput = NewStreamBuffer(frames);
  streamInput->Clear();
  input->CopyTo(0, streamInput.get(), 0, frames);
  TRef<IALAudioBuffer> streamOutput = NewStreamBuffer(frames);
  history_.Process(streamInput->ReadData(), streamOutput->WriteData(), frames);
  output->Clear();
  streamOutput->CopyTo(0, output.get(), 0, frames);
}

}  // namespace tardivox
