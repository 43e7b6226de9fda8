#include "buffers/AudioFormat.h"

#include <algorithm>
#include <optional>

#include "buffers/AssignError.h"
#include "locks/OWObject.h"

namespace tardivox {

namespace {

// Section of the owner, or nothing for a format without owner.
class OwnerWriteSection {
 public:
  explicit OwnerWriteSection(TOWObject* owner) {
    if (owner != nullptr) section_.emplace(*owner);
  }

 private:
  std::optional<TOWWriteLockSection> section_;
};

class OwnerReadSection {
 public:
  explicit OwnerReadSection(TOWObject* owner) {
    if (owner != nullptr) section_.emplace(*owner);
  }

 private:
  std::optional<TOWReadLockSection> section_;
};

// A published unsigned property: negative stored values become 0 before the setter clamps.
uint32_t Unsigned(const TPropertyValue& value) {
  return static_cast<uint32_t>(std::max<int64_t>(TPersistent::AsInteger(value), 0));
}

}  // namespace

TALAudioFormatBasic::TALAudioFormatBasic(TOWObject* owner, ChangeEvent onChange)
    : owner_(owner), onChange_(std::move(onChange)) {
  SetChannels(kDefaultChannels);
  SetBits(kDefaultBits);
  SetSampleRate(kDefaultSampleRate);
  SetChannelMask(kDefaultChannelMask);
  PublishValue(
      "Channels", [this] { return TPropertyValue(int64_t{Channels()}); },
      [this](const TPropertyValue& v) { SetChannels(Unsigned(v)); }, int64_t{kDefaultChannels});
  PublishValue(
      "Bits", [this] { return TPropertyValue(int64_t{Bits()}); },
      [this](const TPropertyValue& v) { SetBits(Unsigned(v)); }, int64_t{kDefaultBits});
  PublishValue(
      "SampleRate", [this] { return TPropertyValue(int64_t{SampleRate()}); },
      [this](const TPropertyValue& v) { SetSampleRate(Unsigned(v)); }, int64_t{kDefaultSampleRate});
  PublishValue(
      "ChannelMask", [this] { return TPropertyValue(int64_t{ChannelMask()}); },
      [this](const TPropertyValue& v) { SetChannelMask(static_cast<TALSpeakers>(AsInteger(v))); },
      int64_t{kDefaultChannelMask});
}

void TALAudioFormatBasic::Recompute() {
  record_ = tardivox::WaveFormat::Pcm(static_cast<uint16_t>(channels_),
                                      static_cast<uint16_t>(bits_), sampleRate_, channelMask_);
}

void TALAudioFormatBasic::Changed() {
  if (onChange_) onChange_(this);
}

uint32_t TALAudioFormatBasic::Channels() const {
  OwnerReadSection section(owner_);
  return channels_;
}

void TALAudioFormatBasic::SetChannels(uint32_t channels) {
  OwnerWriteSection section(owner_);
  channels = std::clamp<uint32_t>(channels, 1, 32);
  if (channels == channels_) return;
  channels_ = channels;
  Recompute();
  Changed();
}

uint32_t TALAudioFormatBasic::Bits() const {
  OwnerReadSection section(owner_);
  return bits_;
}

void TALAudioFormatBasic::SetBits(uint32_t bits) {
  OwnerWriteSection section(owner_);
  bits = std::clamp<uint32_t>(bits, 8, 32);
  if (bits == bits_) return;
  bits_ = bits;
  Recompute();
  Changed();
}

uint32_t TALAudioFormatBasic::SampleRate() const {
  OwnerReadSection section(owner_);
  return sampleRate_;
}

void TALAudioFormatBasic::SetSampleRate(uint32_t samplesPerSecond) {
  OwnerWriteSection section(owner_);
  sampleRate_ = samplesPerSecond;
  Recompute();
  Changed();
}

TALSpeakers TALAudioFormatBasic::ChannelMask() const {
  OwnerReadSection section(owner_);
  return channelMask_;
}

void TALAudioFormatBasic::SetChannelMask(TALSpeakers mask) {
  OwnerWriteSection section(owner_);
  channelMask_ = mask;
  Recompute();
  Changed();
}

tardivox::WaveFormat TALAudioFormatBasic::Format() const {
  OwnerReadSection section(owner_);
  return record_;
}

void TALAudioFormatBasic::Assign(const TALAudioFormatBasic* source) {
  RaiseAssignError(source != nullptr ? source->ClassName() : nullptr, ClassName());
}

TALAudioFormat::TALAudioFormat(TOWObject* owner, ChangeEvent onChange)
    : TALAudioFormatBasic(owner, std::move(onChange)), bufferSize_(kDefaultBufferSize) {
  PublishValue(
      "BufferSize", [this] { return TPropertyValue(int64_t{BufferSize()}); },
      [this](const TPropertyValue& v) { SetBufferSize(Unsigned(v)); }, int64_t{kDefaultBufferSize});
}

uint32_t TALAudioFormat::BufferSize() const {
  OwnerReadSection section(Owner());
  return bufferSize_;
}

void TALAudioFormat::SetBufferSize(uint32_t frames) {
  OwnerWriteSection section(Owner());
  frames = std::max<uint32_t>(frames, 1);
  if (frames == bufferSize_) return;
  bufferSize_ = frames;
  Changed();
}

}  // namespace tardivox
