#include "buffers/AudioBuffer.h"

#include <algorithm>
#include <cstring>

#include "core/Exceptions.h"
#include "vector/Vector.h"

namespace tardivox {

namespace {

uint32_t ClampBits(uint32_t bits) {
  return std::clamp<uint32_t>(bits, 8, 32);
}
uint32_t ClampChannels(uint32_t channels) {
  return std::clamp<uint32_t>(channels, 1, 32);
}

// Block bytes for frameCount frames: computed in 64 bits so that an absurd frame count is
// refused by the block store instead of wrapping to a small block.
uint64_t AudioBlockBytes(uint32_t bits, uint32_t channels, uint32_t frameCount) {
  const uint64_t blockAlign =
      uint64_t{ContainerBitsFor(ClampBits(bits)) / 8} * ClampChannels(channels);
  return uint64_t{frameCount} * blockAlign + kWaveFormatSize;
}

const TALAudioBuffer& AudioSource(ISLDataBuffer* source) {
  if (source == nullptr) RaiseAssignError(nullptr, "TALAudioBuffer");
  TSLGenericBuffer* object = source->Implementation();
  auto* audio = dynamic_cast<TALAudioBuffer*>(object);
  if (audio == nullptr) RaiseAssignError(object->ClassName(), "TALAudioBuffer");
  return *audio;
}

// The sample width the operations use for a buffer: by its valid bits, and above 16 valid
// bits by its container.
uint32_t WidthOf(uint32_t validBits, uint32_t containerBits) {
  if (validBits <= 8) return 8;
  if (validBits <= 16) return 16;
  return containerBits;
}

int Frames(uint32_t count) {
  return static_cast<int>(std::min<uint32_t>(count, INT32_MAX));
}

}  // namespace

TALAudioBuffer::TALAudioBuffer(uint32_t sampleRate, uint32_t bits, uint32_t channels,
                               uint32_t frameCount, TALSpeakers channelMask)
    : TMLMediaBuffer(new TALSmartAudioBuffer(AudioBlockBytes(bits, channels, frameCount)),
                     static_cast<uint32_t>(AudioBlockBytes(bits, channels, frameCount))) {
  *AudioBlock()->Header() =
      WaveFormat::Pcm(static_cast<uint16_t>(ClampChannels(channels)),
                      static_cast<uint16_t>(ClampBits(bits)), sampleRate, channelMask);
  BlockChanged();
}

TALAudioBuffer::TALAudioBuffer(const TALAudioBuffer& source)
    : TRefCounted(),
      ISLDataBuffer(),
      ISLGenericBuffer(),
      IMLMediaBuffer(),
      IALAudioBuffer(),
      TMLMediaBuffer(source) {
  BlockChanged();
}

TALAudioBuffer::TALAudioBuffer(ISLDataBuffer* source) : TALAudioBuffer(AudioSource(source)) {}

TALSmartAudioBuffer* TALAudioBuffer::AudioBlock() const {
  return static_cast<TALSmartAudioBuffer*>(Block());
}

bool TALAudioBuffer::AcceptsBlockOf(const TSLGenericBuffer& source) const {
  return dynamic_cast<const TALAudioBuffer*>(&source) != nullptr;
}

void TALAudioBuffer::BlockChanged() {
  header_ = AudioBlock()->Header();
  channels_ = header_->channels;
  bits_ = header_->validBitsPerSample;
  channelMask_ = header_->channelMask;
  containerBits_ = header_->bitsPerSample;
  blockAlign_ = header_->blockAlign;
  headerSize_ = header_->HeaderSize();
  SetDataPointer(AudioBlock()->Data() + headerSize_);
}

uint32_t TALAudioBuffer::ByteSize() {
  return StoredSize() > headerSize_ ? StoredSize() - headerSize_ : 0;
}

uint32_t TALAudioBuffer::Count() {
  const uint32_t bytes = ByteSize();
  return bytes == 0 || blockAlign_ == 0 ? 0 : bytes / blockAlign_;
}

uint32_t TALAudioBuffer::SampleWidth() const {
  return WidthOf(bits_, containerBits_);
}

void TALAudioBuffer::GetFormat(WaveFormat* destination) {
  if (destination != nullptr) std::memcpy(destination, header_, sizeof(WaveFormat));
}

TSLSmartBuffer* TALAudioBuffer::NewBlock(uint64_t requestedBytes) {
  return new TALSmartAudioBuffer(requestedBytes);
}

TRef<ISLDataBuffer> TALAudioBuffer::Clone() {
  return TRef<ISLDataBuffer>(new TALAudioBuffer(*this));
}

TRef<ISLDataBufferAccess> TALAudioBuffer::NewAccess() {
  return TRef<ISLDataBufferAccess>(new TALAudioDataBufferAccess(this));
}

void TALAudioBuffer::SetCount(uint32_t frames, bool keepContent) {
  if (frames == 0) return;
  const WaveFormat savedHeader = *header_;
  const uint64_t bytes = uint64_t{frames} * blockAlign_ + headerSize_;
  if (frames <= Count() || (Block()->IsUnique() && uint64_t{Block()->AllocatedSize()} >= bytes)) {
    SetStoredSize(static_cast<uint32_t>(bytes));
    BlockChanged();
    return;
  }
  TSLSmartBuffer* block = NewBlock(bytes);
  std::memcpy(block->Data(), &savedHeader, sizeof(WaveFormat));
  ReplaceBlock(block, keepContent);
  BlockChanged();
  SetStoredSize(static_cast<uint32_t>(bytes));
}

void TALAudioBuffer::CopyTo(uint32_t selfOffset, ISLDataBuffer* destination,
                            uint32_t destinationOffset, uint32_t count) {
  if (destination == nullptr) return;
  auto* target = dynamic_cast<TALAudioBuffer*>(destination->Implementation());
  if (target == nullptr) {
    CopyBytesTo(selfOffset, destination, destinationOffset, count);
    return;
  }
  const uint32_t selfFrames = Count();
  const uint32_t targetFrames = target->Count();
  if (selfOffset >= selfFrames || destinationOffset >= targetFrames) return;
  count = std::min({count, selfFrames - selfOffset, targetFrames - destinationOffset});
  if (count == 0) return;

  TALChannelPair pairs[kSpeakerCount];
  const uint32_t pairCount = PairChannelsBySpeaker(channelMask_, channels_, target->channelMask_,
                                                   target->channels_, pairs);
  if (pairCount == 0) return;
  // Destination first: when it is this very buffer, making it unique may move the data.
  uint8_t* to = target->ModifyData() + std::size_t{destinationOffset} * target->blockAlign_;
  const uint8_t* from = ReadData() + std::size_t{selfOffset} * blockAlign_;
  const uint32_t fromBytes = containerBits_ / 8;
  const uint32_t toBytes = target->containerBits_ / 8;
  // Same layout and every channel paired with its namesake: the frames are one contiguous
  // run in both buffers, copied at once instead of channel by channel.
  bool identical = containerBits_ == target->containerBits_ && blockAlign_ == target->blockAlign_ &&
                   pairCount == channels_ && pairCount == target->channels_;
  for (uint32_t p = 0; identical && p < pairCount; ++p) {
    identical = pairs[p].self == p && pairs[p].other == p;
  }
  if (identical) {
    vec::Copy(to, from, static_cast<int>(std::size_t{count} * blockAlign_));
    return;
  }
  for (uint32_t p = 0; p < pairCount; ++p) {
    vec::ConvertSamples(to + pairs[p].other * toBytes, static_cast<int>(target->containerBits_),
                        target->blockAlign_, from + pairs[p].self * fromBytes,
                        static_cast<int>(containerBits_), blockAlign_, Frames(count));
  }
}

int32_t TALAudioBuffer::GetSample(uint32_t index, uint32_t channel) {
  if (channel >= channels_) {
    throw ERangeError(FormatMessage("Channel out of range = %u", {std::to_string(channel)}));
  }
  if (index >= Count()) {
    throw ERangeError(FormatMessage("Index out of range = %u", {std::to_string(index)}));
  }
  const uint8_t* sample =
      ReadData() + std::size_t{index} * blockAlign_ + std::size_t{channel} * (containerBits_ / 8);
  if (bits_ <= 8) return sample[0];
  if (bits_ <= 16) {
    int16_t value;
    std::memcpy(&value, sample, sizeof value);
    return value;
  }
  if (containerBits_ == 24) {
    return static_cast<int32_t>(uint32_t{sample[0]} | (uint32_t{sample[1]} << 8) |
                                (uint32_t{sample[2]} << 16));
  }
  int32_t value;
  std::memcpy(&value, sample, sizeof value);
  return value;
}

void TALAudioBuffer::SetSample(uint32_t index, uint32_t channel, int32_t value) {
  MakeUnique(true);
  if (channel >= channels_) {
    throw ERangeError(FormatMessage("Channel out of rabge = %u", {std::to_string(channel)}));
  }
  if (index >= Count()) {
    throw ERangeError(FormatMessage("Index out of rabge = %u", {std::to_string(index)}));
  }
  uint8_t* sample =
      ReadData() + std::size_t{index} * blockAlign_ + std::size_t{channel} * (containerBits_ / 8);
  // Little-endian host: the low bytes of value are its first bytes.
  const std::size_t bytes = bits_ <= 8 ? 1 : bits_ <= 16 ? 2 : containerBits_ / 8;
  std::memcpy(sample, &value, bytes);
}

void TALAudioBuffer::Fill(int32_t value) {
  uint8_t* data = WriteData();
  const int bytes = static_cast<int>(ByteSize());
  switch (SampleWidth()) {
    case 8:
      // In unsigned arithmetic: the low byte of value + 127 for every value, without the signed
      // overflow that values near the 32-bit maximum would cause.
      vec::Fill(data, static_cast<uint8_t>(static_cast<uint32_t>(value) + 127u), bytes);
      break;
    case 16:
      vec::Fill(reinterpret_cast<int16_t*>(data), static_cast<int16_t>(value), bytes / 2);
      break;
    case 24:
      vec::FillSamples24(data, value, bytes / 3);
      break;
    default:
      vec::Fill(reinterpret_cast<int32_t*>(data), value, bytes / 4);
      break;
  }
}

void TALAudioBuffer::Clear() {
  uint8_t* data = WriteData();
  const int bytes = static_cast<int>(ByteSize());
  if (SampleWidth() == 8) {
    vec::Fill(data, uint8_t{127}, bytes);
  } else {
    vec::Zero(data, bytes);
  }
}

void TALAudioBuffer::Scale(double factor) {
  uint8_t* data = ModifyData();
  const uint64_t samples = uint64_t{Count()} * channels_;
  vec::ScaleSamples(static_cast<int>(SampleWidth()), data, containerBits_ / 8, factor,
                    static_cast<int>(std::min<uint64_t>(samples, INT32_MAX)));
}

void TALAudioBuffer::Add(IALAudioBuffer* other) {
  Combine(vec::SampleOp::Add, other);
}
void TALAudioBuffer::Subtract(IALAudioBuffer* other) {
  Combine(vec::SampleOp::Subtract, other);
}
void TALAudioBuffer::Multiply(IALAudioBuffer* other) {
  Combine(vec::SampleOp::Multiply, other);
}
void TALAudioBuffer::Divide(IALAudioBuffer* other) {
  Combine(vec::SampleOp::Divide, other);
}

void TALAudioBuffer::Combine(vec::SampleOp operation, IALAudioBuffer* other) {
  if (other == nullptr) return;
  const uint32_t frames = std::min(Count(), other->Count());
  if (frames == 0) return;

  TALChannelPair pairs[kSpeakerCount];
  uint32_t pairCount = 0;
  const uint32_t otherChannels = other->Channels();
  const bool mono = otherChannels == 1;
  if (!mono) {
    pairCount =
        PairChannelsBySpeaker(channelMask_, channels_, other->ChannelMask(), otherChannels, pairs);
    if (pairCount == 0) return;
  }

  const int width = static_cast<int>(SampleWidth());
  const uint32_t otherContainerBits = other->ContainerBits();
  const int otherWidth = static_cast<int>(WidthOf(other->Bits(), otherContainerBits));
  const std::ptrdiff_t stride = blockAlign_;
  const std::ptrdiff_t otherStride = other->BlockAlign();
  const uint32_t sampleBytes = containerBits_ / 8;

  // This buffer first: when other is this very buffer, making it unique may move the data.
  uint8_t* mine = ModifyData();
  const uint8_t* theirs = other->ReadData();
  auto combine = [&](uint32_t selfChannel, uint32_t otherChannel) {
    uint8_t* a = mine + selfChannel * sampleBytes;
    const uint8_t* b = theirs + otherChannel * (otherContainerBits / 8);
    if (otherWidth == width) {
      vec::CombineSamples(operation, width, a, stride, b, otherStride, Frames(frames));
      return;
    }
    // Different widths: bring the other's samples to this width in small batches first, so
    // that a sample is never read with the wrong width (or past the end of its block).
    constexpr int kBatch = 256;
    alignas(8) uint8_t converted[kBatch * 4];
    for (uint32_t done = 0; done < frames; done += kBatch) {
      const int n = static_cast<int>(std::min<uint32_t>(kBatch, frames - done));
      vec::ConvertSamples(converted, width, sampleBytes, b + std::size_t{done} * otherStride,
                          otherWidth, otherStride, n);
      vec::CombineSamples(operation, width, a + std::size_t{done} * stride, stride, converted,
                          sampleBytes, n);
    }
  };
  if (mono) {
    for (uint32_t c = 0; c < channels_; ++c) combine(c, 0);
  } else {
    for (uint32_t p = 0; p < pairCount; ++p) combine(pairs[p].self, pairs[p].other);
  }
}

}  // namespace tardivox
